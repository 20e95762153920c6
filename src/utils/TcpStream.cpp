#include "utils/TcpStream.h"

#include <QNetworkInterface>

#include <QElapsedTimer>
#include <QThread>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#ifdef Q_OS_LINUX
#include <linux/sockios.h>
#include <sys/sendfile.h>
#endif

#include "utils/FileUtil.h"

namespace {
void ignoreBrokenPipes()
{
    // sendfile() has no MSG_NOSIGNAL: a peer that went away must give EPIPE, not kill us.
    static std::once_flag once;
    std::call_once(once, [] { ::signal(SIGPIPE, SIG_IGN); });
}

bool setBlocking(int fd, bool blocking)
{
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return false;
    return ::fcntl(fd, F_SETFL, blocking ? flags & ~O_NONBLOCK : flags | O_NONBLOCK) == 0;
}
} // namespace

TcpStream::~TcpStream()
{
    close();
}

void TcpStream::setTimeout(int ms)
{
    const int fd = m_fd;
    if (fd < 0)
        return;
    timeval tv{};
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool TcpStream::connectTo(const QHostAddress& address, quint16 port, int timeoutMs)
{
    close();
    m_timedOut = false;
    m_reset = false;
    m_writeShut = false;
    sockaddr_storage storage{};
    socklen_t length = 0;
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    if (isV4) {
        auto* in = reinterpret_cast<sockaddr_in*>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(v4);
        length = sizeof(sockaddr_in);
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        const QString scope = address.scopeId();
        int index = QNetworkInterface::interfaceIndexFromName(scope);
        if (index == 0)
            index = scope.toInt();
        in6->sin6_scope_id = uint32_t(index);
        length = sizeof(sockaddr_in6);
    } else {
        m_error = QStringLiteral("Unsupported address");
        return false;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        fail(errno);
        return false;
    }
    m_fd = fd;
    if (m_bufferBytes > 0) {
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &m_bufferBytes, sizeof m_bufferBytes);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &m_bufferBytes, sizeof m_bufferBytes);
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0) {
        if (errno != EINPROGRESS) {
            fail(errno);
            close();
            return false;
        }
        pollfd p{fd, POLLOUT, 0};
        int ready;
        do {
            ready = ::poll(&p, 1, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        int error = 0;
        socklen_t errorLength = sizeof error;
        if (ready == 0) {
            m_timedOut = true;
            m_error = QStringLiteral("Socket operation timed out");
            close();
            return false;
        }
        if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 || error != 0) {
            fail(ready < 0 ? errno : error);
            close();
            return false;
        }
    }
    setBlocking(fd, true);
    ignoreBrokenPipes();
    return true;
}

bool TcpStream::adopt(int descriptor)
{
    close();
    m_fd = descriptor;
    m_timedOut = false;
    m_reset = false;
    m_writeShut = false;
    ignoreBrokenPipes();
    if (m_bufferBytes > 0)
        ::setsockopt(descriptor, SOL_SOCKET, SO_SNDBUF, &m_bufferBytes, sizeof m_bufferBytes);
    return setBlocking(descriptor, true);
}

qint64 TcpStream::receive(char* data, qint64 size, int flags)
{
    const int fd = m_fd;
    for (;;) {
        const ssize_t n = ::recv(fd, data, size_t(size), flags);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        fail(errno);
        return -1;
    }
}

qint64 TcpStream::readSome(char* data, qint64 size)
{
    return receive(data, size, 0);
}

qint64 TcpStream::readFull(char* data, qint64 size)
{
    return receive(data, size, MSG_WAITALL);
}

bool TcpStream::writeAll(const char* data, qint64 size)
{
    const int fd = m_fd;
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

TcpStream::SendFile TcpStream::sendFile(int fileDescriptor, qint64 offset, qint64 size)
{
#ifdef Q_OS_LINUX
    const int fd = m_fd;
    off_t position = off_t(offset);
    const qint64 end = offset + size;
    while (position < end) {
        const ssize_t n = ::sendfile(fd, fileDescriptor, &position, size_t(end - position));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if ((errno == EINVAL || errno == ENOSYS || errno == ESPIPE) && position == offset)
                return SendFile::Unsupported;
            fail(errno);
            return SendFile::Failed;
        }
        if (n == 0) {
            // The file ended early: it shrank while it was being sent.
            m_timedOut = false;
            m_fileFailed = true;
            m_error = FileUtil::endedEarly();
            return SendFile::Failed;
        }
    }
    return SendFile::Sent;
#else
    Q_UNUSED(fileDescriptor)
    Q_UNUSED(offset)
    Q_UNUSED(size)
    return SendFile::Unsupported;
#endif
}

bool TcpStream::sendFileBlock(int fileDescriptor, qint64 offset, qint64 size)
{
    if (!m_spliceUnsupported) {
        const SendFile sent = sendFile(fileDescriptor, offset, size);
        if (sent != SendFile::Unsupported)
            return sent == SendFile::Sent;
        m_spliceUnsupported = true;
    }
    constexpr qint64 CopySize = 262144;
    if (m_copy.isEmpty())
        m_copy.resize(int(CopySize));
    while (size > 0) {
        const qint64 n = FileUtil::readAt(fileDescriptor, m_copy.data(), qMin(size, CopySize), offset, &m_error);
        if (n < 0) {
            m_timedOut = false;
            m_fileFailed = true;
            return false;
        }
        if (!writeAll(m_copy.constData(), n))
            return false;
        offset += n;
        size -= n;
    }
    return true;
}

qint64 TcpStream::unacknowledged() const
{
#ifdef Q_OS_LINUX
    int queued = 0;
    const int fd = m_fd;
    if (fd >= 0 && ::ioctl(fd, SIOCOUTQ, &queued) == 0)
        return queued;
#endif
    return -1;
}

TcpStream::Delivery TcpStream::waitDelivered(int stallMs, const std::function<bool()>& cancelled)
{
    constexpr int LongestNapMs = 20;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    qint64 last = -1;
    int napMs = 1;
    for (;;) {
        // Our end of stream counts as one byte, and a peer that keeps its side open may
        // acknowledge it only with its delayed acknowledgement, tens of milliseconds later.
        const qint64 queued = qMax<qint64>(-1, unacknowledged() - (m_writeShut ? 1 : 0));
        // A reset empties the queue too. -1: nothing to wait on here; the peer's answer decides.
        if (queued <= 0)
            return wasReset() ? Delivery::Reset : Delivery::Delivered;
        if (queued != last) {
            last = queued;
            sinceProgress.restart();
        } else if (sinceProgress.elapsed() >= stallMs) {
            m_timedOut = true;
            m_error = QStringLiteral("No byte was acknowledged for %1 ms").arg(stallMs);
            return Delivery::Stalled;
        }
        if (cancelled && cancelled())
            return Delivery::Cancelled;
        // Sleeps until the peer says something (it sends nothing but its close or a
        // reset during an upload) or the nap ends: the queue shrinks without an event.
        pollfd p{int(m_fd), POLLIN | POLLRDHUP, 0};
        const int ready = ::poll(&p, 1, napMs);
        if (ready > 0) {
            if (wasReset())
                return Delivery::Reset;
            if (p.revents & (POLLRDHUP | POLLHUP | POLLERR))
                return Delivery::PeerClosed;
            // Bytes from the peer during an upload are not ours to read: no busy loop on them.
            QThread::msleep(ulong(napMs));
        }
        napMs = qMin(napMs * 2, LongestNapMs);
    }
}

bool TcpStream::wasReset()
{
    const int fd = m_fd;
    if (m_reset || fd < 0)
        return m_reset;
    char byte;
    ssize_t n;
    do
        n = ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    while (n < 0 && errno == EINTR);
    // The kernel tells a reset once; an end of stream follows.
    m_reset = n < 0 && (errno == ECONNRESET || errno == EPIPE);
    return m_reset;
}

void TcpStream::shutdownWrite()
{
    const int fd = m_fd;
    if (fd >= 0)
        m_writeShut = ::shutdown(fd, SHUT_WR) == 0;
}

void TcpStream::interrupt()
{
    const int fd = m_fd;
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

void TcpStream::abort()
{
    const int fd = m_fd;
    if (fd < 0)
        return;
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    close();
}

void TcpStream::close()
{
    const int fd = m_fd.exchange(-1);
    if (fd >= 0)
        ::close(fd);
}

void TcpStream::fail(int error)
{
    m_timedOut = error == EAGAIN || error == EWOULDBLOCK;
    m_fileFailed = false;
    if (m_timedOut)
        m_error = QStringLiteral("Socket operation timed out");
    else if (error == EPIPE || error == ECONNRESET)
        m_error = QStringLiteral("The remote host closed the connection");
    else
        m_error = QString::fromLocal8Bit(std::strerror(error));
}
