#include "quorvel/transfer/FileCommand.h"

#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/protocol/UdpRequest.h"
#include "quorvel/tasks/Timing.h"

FileCommand::FileCommand(const ServerContent& server)
    : m_server(server)
{
}

bool FileCommand::exchange(const QtJson::JsonObject& request, QtJson::JsonObject* reply)
{
    UdpRequest udp;
    const Wakeup wakeup = stopsOnCancel(udp);
    if (!udp.send(request, m_server.address, ProtocolPort::Operation))
        return fail(tr("无法发送到 %1: %2").arg(TaskOutcome::who(m_server), udp.socket().errorString()));
    const int waitMs = Timing::current().commandWaitMs;
    if (!udp.waitForDatagram(waitMs))
        return isCancelled() ? stopped() : fail(TaskOutcome::noAnswer(m_server, waitMs));
    if (udp.readReplyFrom(m_server.address, ProtocolPort::Operation, reply) != UdpRequest::Reply::Ok)
        return fail(TaskOutcome::badReply(m_server));
    return true;
}

bool FileCommand::accepted(const QtJson::JsonObject& reply, const QString& failure)
{
    if (reply.value(ProtocolKey::Result).toString() == ProtocolValue::Ok) {
        succeed();
        return true;
    }
    return fail(failure, reply.value(ProtocolKey::Reason).toString());
}
