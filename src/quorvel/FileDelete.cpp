#include "FileDelete.h"

#include "ProtocolDefinedJsonObject.h"
#include "ProtocolWords.h"
#include "UserNotices.h"

FileDelete::FileDelete(const QString& path, const ServerContent& server, QObject* parent)
    : FileCommand(server, parent)
    , m_path(path)
{
    connect(this, &FileDelete::notify, UserNotices::instance(), &UserNotices::notify);
}

FileDelete::~FileDelete()
{
    emit notify(m_result ? tr("删除文件成功.") : tr("删除文件失败."));
    emit deleteFileEnd(m_result);
}

void FileDelete::run()
{
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::fileDelete(m_path), &reply))
        return;
    const QString result = reply.value(ProtocolKey::Result).toString();
    if (result == ProtocolValue::Ok)
        m_result = true;
    else if (result == ProtocolValue::Fail) {
        qCritical("[E][%s] delete file fail.", "FileDelete");
        if (reply.contains(ProtocolKey::Reason))
            qWarning(
                "[W][%s] Device says: %s", "FileDelete", qUtf8Printable(reply.value(ProtocolKey::Reason).toString()));
    }
}
