#include "quorvel/transfer/FileDelete.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"

FileDelete::FileDelete(const QString& path, const ServerContent& server)
    : FileCommand(server)
    , m_path(path)
{
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
