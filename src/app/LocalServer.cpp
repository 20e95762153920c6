#include "app/LocalServer.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QStringList>
#include <QTimer>

namespace {
const QStringList CommandWords{QStringLiteral("showUp")};
constexpr int RetryListenMs = 100;
} // namespace

LocalServer::LocalServer(const QString& name, QObject* parent)
    : QThread(parent)
    , m_name(name)
{
    connect(this, &LocalServer::privateDataReceived, this, &LocalServer::slotOnData);
}

LocalServer::~LocalServer()
{
    stop();
}

void LocalServer::stop()
{
    if (isRunning()) {
        quit();
        wait();
    }
}

void LocalServer::run()
{
    // Everything below lives on this thread and is driven by its event loop: sockets are
    // accepted, read and dropped here, so they never cross threads.
    QLocalServer server;
    connect(&server, &QLocalServer::newConnection, &server, [this, &server] { accept(&server); });

    // A client that crashed leaves its socket file behind; the lock file proves that no
    // live owner exists, so the stale name can go.
    QLocalServer::removeServer(m_name);
    QTimer retry;
    retry.setInterval(RetryListenMs);
    connect(&retry, &QTimer::timeout, &server, [this, &server, &retry] {
        if (server.listen(m_name))
            retry.stop();
    });
    if (!server.listen(m_name))
        retry.start();
    exec();
    const QList<QLocalSocket*> open = server.findChildren<QLocalSocket*>();
    for (QLocalSocket* socket : open) {
        socket->disconnect(); // closing it must not call back into a half-gone listener
        delete socket;
    }
    m_connections = 0;
}

void LocalServer::accept(QLocalServer* server)
{
    while (QLocalSocket* socket = server->nextPendingConnection()) {
        ++m_connections;
        // One read is one message: text up to the first NUL.
        const auto read = [this, socket] {
            const QByteArray bytes = socket->readAll();
            if (bytes.isEmpty())
                return;
            const int zero = bytes.indexOf('\0');
            emit privateDataReceived(QString::fromLatin1(zero < 0 ? bytes : bytes.left(zero)));
        };
        connect(socket, &QLocalSocket::readyRead, socket, read);
        connect(socket, &QLocalSocket::disconnected, socket, [this, socket, read] {
            read(); // what a peer wrote just before it closed
            --m_connections;
            socket->deleteLater();
        });
    }
}

void LocalServer::slotOnData(QString data)
{
    if (!data.contains(QLatin1String("CMD:"))) {
        emit dataReceived(data);
        return;
    }
    const int index = CommandWords.indexOf(data.mid(4));
    if (index == 0)
        emit showUp();
}
