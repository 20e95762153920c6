#include "quorvel/browse/FileThumb.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/storage/QuorvelClientDatabase.h"

bool isImageFile(const QString& fileName)
{
    static const QStringList extensions = QStringLiteral(".bmp/.png/.jpg/.jpeg/.gif").split(QLatin1Char('/'));
    const QString lower = fileName.toLower();
    for (const QString& extension : extensions) {
        if (lower.endsWith(extension))
            return true;
    }
    return false;
}

FileThumb::FileThumb(const QString& path, const ServerContent& server, qint64 dateModified, const QModelIndex& index,
    QuorvelClientDatabase* cache)
    : FileCommand(server)
    , m_cache(cache)
    , m_path(path)
    , m_index(index)
    , m_dateModified(dateModified)
{
}

void FileThumb::finish()
{
    emit getThumbEnd(outcome().ok, outcome().ok ? m_thumb : QByteArray(), m_index);
}

void FileThumb::execute()
{
    const QByteArray cached = m_cache ? m_cache->getThumb(m_server.uuid, m_path, m_dateModified) : QByteArray();
    if (!cached.isEmpty()) {
        m_thumb = cached;
        succeed();
        return;
    }
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::getThumb(m_path), &reply))
        return;
    if (!accepted(reply, tr("%1 没有 %2 的缩略图").arg(TaskOutcome::who(m_server), m_path)))
        return;
    // Text that is not Base64 decodes to what it decodes to (possibly nothing).
    m_thumb = QByteArray::fromBase64(reply.value(ProtocolKey::Thumb).toString().toLatin1());
    if (m_cache)
        m_cache->setThumb(m_server.uuid, m_path, m_dateModified, m_thumb);
}
