#include "quorvel/transfer/FileOpen.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"

FileOpen::FileOpen(const QString& path, const ServerContent& server)
    : FileCommand(server)
    , m_path(path)
{
}

void FileOpen::execute()
{
    QtJson::JsonObject reply;
    if (!exchange(ProtocolDefinedJsonObject::fileOpen(m_path), &reply))
        return;
    if (!accepted(reply, tr("%1 无法打开 %2").arg(TaskOutcome::who(m_server), m_path)))
        qCritical("[E][%s] Open file fail: %s", "FileOpen", qUtf8Printable(outcome().deviceReason));
}
