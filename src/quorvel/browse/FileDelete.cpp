#include "quorvel/browse/FileDelete.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/tasks/UserNotices.h"

FileDelete::FileDelete(const QString& path, const ServerContent& server)
    : FileCommand(server)
    , m_path(path)
{
    connect(this, &FileDelete::notify, UserNotices::instance(), &UserNotices::notify);
}

void FileDelete::execute()
{
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::fileDelete(m_path), &reply))
        return;
    if (accepted(reply, tr("%1 无法删除 %2").arg(TaskOutcome::who(m_server), m_path)))
        return;
    qCritical("[E][%s] delete file fail.", "FileDelete");
    if (!outcome().deviceReason.isEmpty())
        qWarning("[W][%s] Device says: %s", "FileDelete", qUtf8Printable(outcome().deviceReason));
}

void FileDelete::finish()
{
    emit notify(outcome().ok ? tr("删除文件成功.") : tr("删除文件失败."));
    emit deleteFileEnd(outcome().ok);
}
