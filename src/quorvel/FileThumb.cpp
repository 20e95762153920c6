#include "FileThumb.h"

#include "ProtocolDefinedJsonObject.h"
#include "ProtocolWords.h"
#include "QuorvelClientDatabase.h"

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

FileThumb::FileThumb(
    const QString& path, const ServerContent& server, qint64 dateModified, const QModelIndex& index, QObject* parent)
    : FileCommand(server, parent)
    , m_path(path)
    , m_index(index)
    , m_dateModified(dateModified)
{
}

FileThumb::~FileThumb()
{
    emit getThumbEnd(m_result, m_result ? m_thumb : QByteArray(), m_index);
}

void FileThumb::run()
{
    QuorvelClientDatabase* db = QuorvelClientDatabase::instance();
    const QByteArray cached = db->getThumb(m_server.uuid, m_path, m_dateModified);
    if (!cached.isEmpty()) {
        m_thumb = cached;
        m_result = true;
        return;
    }
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::getThumb(m_path), &reply))
        return;
    if (reply.value(ProtocolKey::Result).toString() != ProtocolValue::Ok)
        return;
    // Text that is not Base64 decodes to what it decodes to (possibly nothing).
    m_thumb = QByteArray::fromBase64(reply.value(ProtocolKey::Thumb).toString().toLatin1());
    m_result = true;
    db->setThumb(m_server.uuid, m_path, m_dateModified, m_thumb);
}
