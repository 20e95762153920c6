#include "OperateListener.h"

#include <QNetworkDatagram>
#include <QThreadPool>
#include <QTimer>
#include <QUdpSocket>

#include "ReplyOperate.h"
#include "Timing.h"

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

void OperateListener::run()
{
    QUdpSocket socket;
    QTimer retry;
    retry.setSingleShot(true);
    const auto bindOnce = [&] {
        if (socket.bind(QHostAddress::AnyIPv4, Port)) {
            // Read on this thread, which owns the socket; a flood is drained in one go.
            connect(
                &socket, &QUdpSocket::readyRead, &socket, [this, &socket] { readPending(&socket); },
                Qt::UniqueConnection);
            emit listening();
            return;
        }
        qCritical("[E][%s] socket bind error: %s", "OperateListener", qUtf8Printable(socket.errorString()));
        retry.start(Timing::current().listenerRebindMs);
    };
    connect(&retry, &QTimer::timeout, &socket, bindOnce);
    bindOnce();
    exec();
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
