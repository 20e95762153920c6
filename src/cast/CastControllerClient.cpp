#include "CastControllerClient.h"

#include <QLocalSocket>
#include <QTimer>

#include "SendDataBridge.h"

namespace {
const char* const Tag = "CastControllerClient";
}

CastControllerClient::CastControllerClient(const QString& serverName, QObject* parent)
    : QThread(parent)
    , m_serverName(serverName)
    , m_bridge(new SendDataBridge(this))
{
    // The slots run on the link's own thread, where the socket lives.
    moveToThread(this);
}

CastControllerClient::~CastControllerClient()
{
    if (isRunning()) {
        quit();
        wait();
    }
    delete m_bridge;
}

bool CastControllerClient::start()
{
    if (isRunning()) {
        qWarning("[W][%s] CastController is running.", Tag);
        return false;
    }
    QThread::start(QThread::InheritPriority);
    return true;
}

void CastControllerClient::run()
{
    m_socket = new QLocalSocket;
    connect(m_socket, &QLocalSocket::connected, this, &CastControllerClient::socketConnected, Qt::DirectConnection);
    connect(
        m_socket, &QLocalSocket::disconnected, this, &CastControllerClient::socketDisconnected, Qt::DirectConnection);
    connect(m_socket, &QLocalSocket::errorOccurred, this, &CastControllerClient::socketError, Qt::DirectConnection);
    QTimer::singleShot(RetryMs, this, &CastControllerClient::connectToServer);
    exec();
    m_socket->close();
    delete m_socket;
    m_socket = nullptr;
}

void CastControllerClient::connectToServer()
{
    if (!m_socket)
        return;
    m_socket->abort();
    m_socket->connectToServer(m_serverName, QIODevice::ReadWrite);
}

void CastControllerClient::socketConnected()
{
    qDebug("[I][%s] Connected to server.", Tag);
    m_serverConnected = true;
    emit serverConnected();
    connect(m_socket, &QLocalSocket::readyRead, this, &CastControllerClient::socketReadyRead, Qt::UniqueConnection);
    connect(m_bridge, &SendDataBridge::dataSended, this, &CastControllerClient::onSendData,
        Qt::ConnectionType(Qt::QueuedConnection | Qt::UniqueConnection));
}

void CastControllerClient::socketDisconnected()
{
    qDebug("[I][%s] Disconnected to server.", Tag);
    m_serverConnected = false;
    m_castConnected = false;
    m_playing = false;
    emit serverDisconnected();
    quit(); // the link does not come back after the program went away
}

void CastControllerClient::socketError()
{
    if (m_serverConnected)
        return; // a connected link ends through socketDisconnected
    const QString text = QStringLiteral("Socket error: %1.").arg(m_socket->errorString());
    qCritical("[E][%s] %s", Tag, text.toLocal8Bit().constData());
    emit error(text);
    QTimer::singleShot(RetryMs, this, &CastControllerClient::connectToServer);
}

void CastControllerClient::socketReadyRead()
{
    while (m_socket->canReadLine()) {
        QByteArray line = m_socket->readLine();
        line.chop(2); // CR LF; a line ended by LF alone loses its last character
        const int nul = line.indexOf('\0');
        if (nul >= 0)
            line.truncate(nul);
        const QString text = QString::fromUtf8(line);
        if (text == QLatin1String("castConnected")) {
            m_castConnected = true;
            m_playing = true;
            emit castConnected();
        } else if (text == QLatin1String("castDisconnected")) {
            m_castConnected = false;
            emit castDisconnected();
        } else if (text == QLatin1String("castResumed")) {
            m_playing = true;
            emit castResumed();
        } else if (text == QLatin1String("castPaused")) {
            m_playing = false;
            emit castPaused();
        }
    }
}

void CastControllerClient::onSendData(QByteArray data)
{
    if (!m_socket)
        return;
    const qint64 written = m_socket->write(data);
    m_socket->flush();
    if (written != data.size())
        qCritical("[E][%s] socket send fail, ret: %lld", Tag, written);
}

bool CastControllerClient::send(const char* command)
{
    emit m_bridge->dataSended(QByteArray(command));
    return true;
}

bool CastControllerClient::sendPause()
{
    return m_serverConnected && m_castConnected && m_playing && send("pause\r\n");
}

bool CastControllerClient::sendResume()
{
    return m_serverConnected && m_castConnected && !m_playing && send("resume\r\n");
}

bool CastControllerClient::sendStop()
{
    return m_serverConnected && send("stop\r\n");
}

bool CastControllerClient::sendChangeAspectRatio()
{
    return m_serverConnected && m_castConnected && m_playing && send("changeAspectRatio\r\n");
}
