#include "ui/history/NativeFileThumb.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>

#include "quorvel/storage/QuorvelClientDatabase.h"

NativeFileThumb::NativeFileThumb(const QString& uuid, const QString& filePath, qint64 dateModified,
    const QModelIndex& index, QuorvelClientDatabase* cache)
    : m_cache(cache)
    , m_uuid(uuid)
    , m_filePath(filePath)
    , m_dateModified(keyTime(dateModified))
    , m_index(index)
{
}

void NativeFileThumb::execute()
{
    QuorvelClientDatabase* db = m_cache;
    const qint64 key = m_dateModified;
    if (db)
        m_thumb = db->getThumb(m_uuid, m_filePath, key);
    if (!m_thumb.isEmpty()) {
        succeed();
        return;
    }
    if (!QFileInfo::exists(m_filePath)) {
        fail(tr("%1 已不存在").arg(m_filePath));
        return;
    }
    const QImage image(m_filePath);
    if (image.isNull()) {
        // Not cached: a file that is not (yet) a readable image may be one later.
        fail(tr("%1 不是可读取的图片").arg(m_filePath));
        return;
    }
    QBuffer buffer(&m_thumb);
    buffer.open(QIODevice::WriteOnly);
    image.scaled(Side, Side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(&buffer, "PNG");
    if (db)
        db->setThumb(m_uuid, m_filePath, key, m_thumb);
    succeed();
}

void NativeFileThumb::finish()
{
    emit getThumbEnd(m_thumb, m_index);
}
