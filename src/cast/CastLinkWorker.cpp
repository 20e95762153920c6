#include "cast/CastLinkWorker.h"

#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include "cast/CastControllerClient.h"

namespace {
const char* const Tag = "CastControllerClient";
}

CastLinkWorker::CastLinkWorker(const QString& serverName)
    : m_serverName(serverName)
{
}

void CastLinkWorker::begin()
{
    m_socket = new QLocalSocket(this);
    connect(m_socket, &QLocalSocket::connected, this, &CastLinkWorker::socketConnected);
    connect(m_socket, &QLocalSocket::disconnected, this, &CastLinkWorker::socketDisconnected);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &CastLinkWorker::socketError);
    connect(m_socket, &QLocalSocket::readyRead, this, &CastLinkWorker::socketReadyRead);
    QTimer::singleShot(CastControllerClient::RetryMs, this, &CastLinkWorker::connectToServer);
}

void CastLinkWorker::connectToServer()
{
    m_socket->abort();
    m_socket->connectToServer(m_serverName, QIODevice::ReadWrite);
}

void CastLinkWorker::socketConnected()
{
    qDebug("[I][%s] Connected to server.", Tag);
    m_connected = true;
    emit serverConnected();
}

void CastLinkWorker::socketDisconnected()
{
    qDebug("[I][%s] Disconnected to server.", Tag);
    m_connected = false;
    emit serverDisconnected();
    thread()->quit(); // the link does not come back after the program went away
}

void CastLinkWorker::socketError()
{
    if (m_connected)
        return; // a connected link ends through socketDisconnected
    const QString text = QStringLiteral("Socket error: %1.").arg(m_socket->errorString());
    qCritical("[E][%s] %s", Tag, text.toLocal8Bit().constData());
    emit error(text);
    QTimer::singleShot(CastControllerClient::RetryMs, this, &CastLinkWorker::connectToServer);
}

bool CastLinkWorker::parseStatus(QByteArray line, Status* status)
{
    const int nul = line.indexOf('\0');
    if (nul >= 0)
        line.truncate(nul);
    const QString text = QString::fromUtf8(line);
    if (text == QLatin1String("castConnected"))
        *status = Status::CastConnected;
    else if (text == QLatin1String("castDisconnected"))
        *status = Status::CastDisconnected;
    else if (text == QLatin1String("castResumed"))
        *status = Status::CastResumed;
    else if (text == QLatin1String("castPaused"))
        *status = Status::CastPaused;
    else
        return false;
    return true;
}

void CastLinkWorker::socketReadyRead()
{
    while (m_socket->canReadLine()) {
        QByteArray line = m_socket->readLine();
        line.chop(1); // LF
        if (line.endsWith('\r'))
            line.chop(1);
        Status parsed;
        if (parseStatus(line, &parsed))
            emit status(parsed);
    }
}

void CastLinkWorker::send(const QByteArray& data)
{
    if (!m_socket || !m_connected)
        return;
    const qint64 written = m_socket->write(data);
    m_socket->flush();
    if (written != data.size())
        qCritical("[E][%s] socket send fail, ret: %lld", Tag, written);
}
