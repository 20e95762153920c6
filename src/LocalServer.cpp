#include "LocalServer.h"

#include <QDebug>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStringList>

namespace {
const QStringList CommandWords{QStringLiteral("showUp")};
constexpr int PollMs = 100;
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
        requestInterruption();
        wait();
    }
}

void LocalServer::run()
{
    QLocalServer server;
    // Connections are accepted here on the listener thread, so the list of accepted
    // sockets never crosses threads.
    QList<QLocalSocket*> connections;

    // A client that crashed leaves its socket file behind; the lock file proves that no
    // live owner exists, so the stale name can go.
    QLocalServer::removeServer(m_name);
    while (!server.listen(m_name)) {
        if (isInterruptionRequested())
            return;
        msleep(PollMs);
    }

    while (server.isListening() && !isInterruptionRequested()) {
        msleep(PollMs);
        if (server.waitForNewConnection(PollMs)) {
            while (QLocalSocket* socket = server.nextPendingConnection())
                connections.prepend(socket);
        }
        for (QLocalSocket* socket : qAsConst(connections)) {
            if (socket->bytesAvailable() > 0 || socket->waitForReadyRead(PollMs)) {
                const QByteArray bytes = socket->readAll();
                const int zero = bytes.indexOf('\0');
                emit privateDataReceived(QString::fromLatin1(zero < 0 ? bytes : bytes.left(zero)));
            }
        }
    }
    qDeleteAll(connections);
    server.close();
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
