#include "quorvel/server/OperateListener.h"

#include <QNetworkDatagram>
#include <QThreadPool>
#include <QTimer>
#include <QUdpSocket>

#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/protocol/ListenPort.h"
#include "quorvel/server/ReplyOperate.h"
#include "quorvel/tasks/Timing.h"

OperateListener::OperateListener(
    ServingSessions& sessions, OfferedFiles& offers, QThreadPool& pool, const DiscoveryListener* hosts, QObject* parent)
    : QThread(parent)
    , m_sessions(sessions)
    , m_offers(offers)
    , m_pool(pool)
    , m_hosts(hosts)
{
}

OperateListener::~OperateListener()
{
    stop();
}

void OperateListener::stop()
{
    quit();
    wait();
}

ServerContent OperateListener::knownHost(const QHostAddress& address) const
{
    return m_hosts ? m_hosts->knownHost(address.toString()) : ServerContent();
}

qint64 OperateListener::sendReply(const QByteArray& bytes, const QHostAddress& to, quint16 port)
{
    QMutexLocker lock(&m_socketLock);
    if (!m_socket)
        return -1;
    QUdpSocket* socket = m_socket;
    if (QThread::currentThread() == this)
        return socket->writeDatagram(bytes, to, port);
    // Handed over without waiting: a listener that is stopping may never run its loop
    // again, and waiting for it here (under the lock it takes on its way out) hung both.
    // A hand-over still queued when the socket goes is dropped with it.
    QMetaObject::invokeMethod(
        socket,
        [socket, bytes, to, port] {
            if (socket->writeDatagram(bytes, to, port) == -1)
                qCritical("[E][%s] reply send fail: %s", "OperateListener", qUtf8Printable(socket->errorString()));
        },
        Qt::QueuedConnection);
    return bytes.size();
}

void OperateListener::run()
{
    QUdpSocket socket;
    QTimer retry;
    retry.setSingleShot(true);
    const auto bindOnce = [&] {
        QString error;
        if (ListenPort::bind(socket, Port, &error)) {
            {
                QMutexLocker lock(&m_socketLock);
                m_socket = &socket;
            }
            // Read on this thread, which owns the socket; a flood is drained in one go.
            connect(
                &socket, &QUdpSocket::readyRead, &socket, [this, &socket] { readPending(&socket); },
                Qt::UniqueConnection);
            emit listening();
            return;
        }
        qCritical("[E][%s] socket bind error: %s", "OperateListener", qUtf8Printable(error));
        emit bindFailed(Port, error);
        retry.start(Timing::current().listenerRebindMs);
    };
    connect(&retry, &QTimer::timeout, &socket, bindOnce);
    bindOnce();
    exec();
    QMutexLocker lock(&m_socketLock);
    m_socket = nullptr;
}

void OperateListener::readPending(QUdpSocket* socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            continue;
        m_pool.start(
            new ReplyOperate(*this, datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort())));
    }
}
