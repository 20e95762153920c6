#include "quorvel/protocol/UdpRequest.h"

#include <QDeadlineTimer>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

UdpRequest::UdpRequest()
    : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    m_socket.bind(QHostAddress::AnyIPv4, 0); // a failed bind shows as a failed send
    // A long listing arrives as a burst of datagrams: room for it in the kernel.
    m_socket.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4 * 1024 * 1024);
}

UdpRequest::~UdpRequest()
{
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

void UdpRequest::wake()
{
    const quint64 one = 1;
    if (m_wakeFd >= 0)
        (void)!::write(m_wakeFd, &one, sizeof one);
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
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (m_stop && m_stop())
            return false;
        if (m_socket.hasPendingDatagrams())
            return true;
        const qint64 left = deadline.remainingTime(); // -1: no bound
        if (left == 0 || m_socket.socketDescriptor() < 0)
            return false; // not bound: a failed bind showed as a failed send
        pollfd fds[] = {{int(m_socket.socketDescriptor()), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, m_wakeFd >= 0 ? 2 : 1, int(left));
        if (ready < 0 && errno != EINTR)
            return false;
        if (fds[1].revents & POLLIN) {
            quint64 count = 0;
            (void)!::read(m_wakeFd, &count, sizeof count);
            return m_socket.hasPendingDatagrams() && !(m_stop && m_stop());
        }
        if (fds[0].revents & POLLERR) {
            // An ICMP error with no datagram: taking it lets the next wait block again.
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(fds[0].fd, SOL_SOCKET, SO_ERROR, &error, &length);
        }
    }
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
