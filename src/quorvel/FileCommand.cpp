#include "FileCommand.h"

#include "ProtocolWords.h"
#include "Timing.h"
#include "UdpRequest.h"

FileCommand::FileCommand(const ServerContent& server, QObject* parent)
    : QObject(parent)
    , m_server(server)
{
}

bool FileCommand::exchange(const QtJson::JsonObject& request, QtJson::JsonObject* reply)
{
    UdpRequest udp;
    if (!udp.send(request, m_server.address, ProtocolPort::Operation))
        return false;
    if (!udp.waitForDatagram(Timing::current().commandWaitMs))
        return false;
    return udp.readReplyFrom(m_server.address, ProtocolPort::Operation, reply) == UdpRequest::Reply::Ok;
}
