#include "ClientFetch.h"

#include <QJsonObject>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

#include "WireLog.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "utils/FileUtil.h"
#include "json/QtJson.h"

ClientFetch::ClientFetch(const QHostAddress& device, const QHostAddress& client, quint16 clientPort,
    const QString& remotePath, const QString& localPath, const DeviceFaults& faults, WireLog* log, QObject* parent)
    : QObject(parent)
    , m_device(device)
    , m_client(client)
    , m_clientPort(clientPort)
    , m_remotePath(remotePath)
    , m_localPath(localPath)
    , m_faults(faults)
    , m_log(log)
    , m_cutsLeft(faults.cutAfter >= 0 ? faults.cutTimes : 0)
{
    m_udp = new QUdpSocket(this);
    m_timeout = new QTimer(this);
    m_timeout->setSingleShot(true);
    connect(m_timeout, &QTimer::timeout, this, [this] { finish(false, QStringLiteral("no reply")); });
    connect(m_udp, &QUdpSocket::readyRead, this, &ClientFetch::onDatagram);
}

void ClientFetch::start()
{
    m_udp->bind(m_device, 0);
    QVariantMap request;
    request.insert(ProtocolKey::Type, QString(ProtocolType::FileDownload));
    request.insert(ProtocolKey::FilePath, m_remotePath);
    sendRequest(request);
}

void ClientFetch::sendRequest(const QVariantMap& request)
{
    const QByteArray bytes = QtJson::serialize(request);
    m_udp->writeDatagram(bytes, m_client, m_clientPort);
    m_log->datagram("out", m_device, m_udp->localPort(), m_client, m_clientPort, bytes);
    m_timeout->start(ReplyTimeoutMs);
}

void ClientFetch::onDatagram()
{
    while (m_udp->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = m_udp->receiveDatagram();
        m_log->datagram("in", m_device, m_udp->localPort(), datagram.senderAddress(), quint16(datagram.senderPort()),
            datagram.data());
        m_timeout->stop();
        bool ok = false;
        const QVariantMap reply = QtJson::parseObject(datagram.data(), &ok);
        if (!ok) {
            finish(false, QStringLiteral("reply is not JSON"));
            return;
        }
        const QString result = reply.value(ProtocolKey::Result).toString();
        if (m_querying) {
            const QString reason = reply.value(ProtocolKey::Reason).toString();
            // The serving side may not have finished its own count yet: ask again, as
            // a client does, ten times at most.
            if (result != ProtocolValue::Ok && reason == ProtocolValue::NotComplete && ++m_polls < MaxPolls) {
                QTimer::singleShot(PollIntervalMs, this, [this] { sendRequest(m_query); });
                return;
            }
            finish(result == ProtocolValue::Ok, result == ProtocolValue::Ok ? QStringLiteral("ok") : reason);
            return;
        }
        if (result != ProtocolValue::Ok) {
            finish(false, reply.value(ProtocolKey::Reason).toString());
            return;
        }
        m_sessionId = reply.value(ProtocolKey::SessionId).toLongLong();
        const int port = reply.value(ProtocolKey::TcpPort).toInt(&ok);
        if (!ok || port <= 0 || port > 65535) {
            finish(false, QStringLiteral("bad tcp_port"));
            return;
        }
        m_tcpPort = quint16(port);
        m_size = reply.value(ProtocolKey::FileSize).toLongLong();
        m_file.setFileName(m_localPath);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            finish(false, QStringLiteral("cannot write %1").arg(m_localPath));
            return;
        }
        connectStream();
    }
}

void ClientFetch::connectStream()
{
    if (m_connections >= MaxConnections) {
        finish(false, QStringLiteral("too many connections"));
        return;
    }
    ++m_connections;
    auto* socket = new QTcpSocket(this);
    m_tcp = socket;
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (m_connections > 1) {
            // The serving client reads the held count as decimal digits.
            socket->write(QByteArray::number(m_held));
            QJsonObject details;
            details["value"] = double(m_held);
            m_log->event(m_device.toString(), QStringLiteral("fetch-resume-offset-sent"), details);
        }
        if (m_size == 0)
            onStreamData();
    });
    connect(socket, &QTcpSocket::readyRead, this, &ClientFetch::onStreamData);
    connect(socket, &QTcpSocket::disconnected, this, &ClientFetch::onStreamClosed);
    connect(socket, &QAbstractSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError) {
        if (socket->state() != QAbstractSocket::ConnectedState)
            onStreamClosed();
    });
    // From the device's own address, as a real device connects: the serving client
    // serves only the address that asked.
    socket->bind(m_device, 0);
    socket->connectToHost(m_client, m_tcpPort);
}

void ClientFetch::onStreamData()
{
    QTcpSocket* socket = m_tcp;
    if (!socket)
        return;
    while (socket->bytesAvailable() > 0 && m_held < m_size) {
        qint64 room = m_size - m_held;
        if (m_cutsLeft > 0 && m_faults.cutAfter > m_held)
            room = qMin(room, m_faults.cutAfter - m_held);
        const QByteArray block = socket->read(qMin<qint64>(room, 262144));
        if (block.isEmpty())
            break;
        m_file.seek(m_held);
        m_file.write(block);
        m_held += block.size();
        if (m_cutsLeft > 0 && m_held >= m_faults.cutAfter && m_held < m_size) {
            --m_cutsLeft;
            QJsonObject details;
            details["value"] = double(m_held);
            m_log->event(m_device.toString(), QStringLiteral("fetch-cut"), details);
            m_file.flush();
            socket->abort();
            return; // abort() reports the close, which reconnects
        }
    }
    if (m_held >= m_size && !m_querying) {
        m_file.close();
        m_querying = true;
        disconnect(socket, nullptr, this, nullptr);
        socket->disconnectFromHost();
        const QVariantMap query = ProtocolDefinedJsonObject::queryResult(m_sessionId, getFileMd5(m_localPath));
        m_query = query;
        sendRequest(query);
    }
}

void ClientFetch::onStreamClosed()
{
    if (m_querying || m_done || !m_tcp || sender() != m_tcp)
        return;
    m_tcp->deleteLater();
    m_tcp = nullptr;
    m_file.flush();
    QTimer::singleShot(0, this, &ClientFetch::connectStream);
}

void ClientFetch::finish(bool ok, const QString& detail)
{
    if (m_done)
        return;
    m_done = true;
    m_timeout->stop();
    QJsonObject details;
    details["ok"] = ok;
    details["detail"] = detail;
    details["path"] = m_localPath;
    details["held"] = double(m_held);
    m_log->event(m_device.toString(), QStringLiteral("fetch-finished"), details);
    emit finished(ok, detail);
}
