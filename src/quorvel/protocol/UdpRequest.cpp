#include "quorvel/protocol/UdpRequest.h"

#include <QDeadlineTimer>

UdpRequest::UdpRequest()
{
    m_socket.bind(QHostAddress::AnyIPv4, 0); // a failed bind shows as a failed send
    // A long listing arrives as a burst of datagrams: room for it in the kernel.
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
}

bool UdpRequest::send(
    const QtJson::JsonObject& request, const QHostAddress& address, quint16 port, bool* serializeFailed)
{
    bool ok = false;
    const QByteArray bytes = QtJson::serialize(request, ok);
    if (serializeFailed)
        *serializeFailed = !ok;
    if (!ok)
        return false;
    return m_socket.writeDatagram(bytes, address, port) != -1;
}

bool UdpRequest::waitForDatagram(int timeoutMs)
{
    if (m_socket.hasPendingDatagrams())
        return true;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (m_stop && m_stop())
            return false;
        const qint64 left = deadline.remainingTime(); // -1: no bound
        const int step = int(!m_stop ? left : left < 0 ? StopStepMs : qMin<qint64>(left, StopStepMs));
        if (m_socket.waitForReadyRead(step)) {
            if (m_socket.hasPendingDatagrams())
                return true;
            continue; // readiness can also mean an ICMP error with no datagram: wait on
        }
        if (m_socket.error() != QAbstractSocket::SocketTimeoutError)
            break;
    }
    return m_socket.hasPendingDatagrams();
}

QNetworkDatagram UdpRequest::read()
{
    return m_socket.receiveDatagram();
}

UdpRequest::Reply UdpRequest::readReplyFrom(const QHostAddress& address, quint16 port, QtJson::JsonObject* reply)
{
    const QNetworkDatagram datagram = read();
    if (!datagram.senderAddress().isEqual(address, QHostAddress::ConvertV4MappedToIPv4)
        || datagram.senderPort() != port)
        return Reply::WrongSender;
    bool ok = false;
    *reply = QtJson::parseObject(datagram.data(), &ok);
    return ok ? Reply::Ok : Reply::NotJson;
}
