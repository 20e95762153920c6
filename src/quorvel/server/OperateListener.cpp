#include "quorvel/server/OperateListener.h"

#include <QMutex>
#include <QNetworkDatagram>
#include <QThreadPool>
#include <QTimer>
#include <QUdpSocket>

#include "quorvel/protocol/ListenPort.h"

#include "quorvel/server/ReplyOperate.h"
#include "quorvel/tasks/Timing.h"

namespace {
QMutex g_activeLock;
OperateListener* g_active = nullptr;
} // namespace

OperateListener::OperateListener(QObject* parent)
    : QThread(parent)
{
    ReplyOperate::relay(); // made here, on the application's thread
}

OperateListener::~OperateListener()
{
    quit();
    wait();
}

qint64 OperateListener::sendReply(const QByteArray& bytes, const QHostAddress& to, quint16 port)
{
    QMutexLocker lock(&g_activeLock);
    if (!g_active || !g_active->m_socket)
        return -1;
    QUdpSocket* socket = g_active->m_socket;
    if (QThread::currentThread() == g_active)
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
                QMutexLocker lock(&g_activeLock);
                m_socket = &socket;
                g_active = this;
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
    QMutexLocker lock(&g_activeLock);
    if (g_active == this)
        g_active = nullptr;
    m_socket = nullptr;
}

void OperateListener::readPending(QUdpSocket* socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            continue;
        QThreadPool::globalInstance()->start(
            new ReplyOperate(datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort())));
    }
}
