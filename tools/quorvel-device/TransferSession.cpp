#include "TransferSession.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>
#include <algorithm>

#include "WireLog.h"
#include "utils/FileUtil.h"

namespace {
constexpr qint64 BlockSize = 262144;
constexpr qint64 MaxQueued = 4 * BlockSize;
} // namespace

TransferSession::TransferSession(Direction direction, quint32 id, const QString& localPath, qint64 size,
    const DeviceFaults& faults, WireLog* log, const QString& device, QObject* parent)
    : QObject(parent)
    , m_direction(direction)
    , m_id(id)
    , m_path(localPath)
    , m_size(size)
    , m_faults(faults)
    , m_log(log)
    , m_device(device)
    , m_cutsLeft(faults.cutAfter >= 0 ? faults.cutTimes : 0)
{
    m_file.setFileName(localPath);
    if (direction == Receive)
        m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    else
        m_file.open(QIODevice::ReadOnly);
}

TransferSession::~TransferSession() = default;

bool TransferSession::listen(const QHostAddress& address)
{
    if (!m_file.isOpen())
        return false;
    m_server = new QTcpServer(this);
    connect(m_server, &QTcpServer::newConnection, this, &TransferSession::onNewConnection);
    return m_server->listen(address, 0);
}

quint16 TransferSession::port() const
{
    return m_server ? m_server->serverPort() : 0;
}

bool TransferSession::isComplete() const
{
    return m_position >= m_size;
}

QString TransferSession::fileMd5()
{
    if (m_direction == Receive && m_file.isOpen())
        m_file.flush();
    if (m_md5.isEmpty() && (m_direction == Send || isComplete())) {
        if (m_hashInOrder && m_hashed == m_size)
            m_md5 = m_hash.hexResult();
        else
            m_md5 = getFileMd5(m_path);
    }
    return m_md5;
}

void TransferSession::logEvent(const QString& what, qint64 value)
{
    QJsonObject details;
    details["session"] = double(m_id);
    details["value"] = double(value);
    details["direction"] = m_direction == Receive ? "receive" : "send";
    m_log->event(m_device, what, details);
}

void TransferSession::onNewConnection()
{
    while (QTcpSocket* incoming = m_server->nextPendingConnection()) {
        if (m_connections >= MaxConnections) {
            logEvent(QStringLiteral("tcp-refused"), m_connections);
            incoming->abort();
            incoming->deleteLater();
            continue;
        }
        if (m_socket)
            m_socket->abort(); // the peer gave that one up
        ++m_connections;
        m_socket = incoming;
        incoming->setParent(this);
        connect(incoming, &QTcpSocket::disconnected, incoming, &QObject::deleteLater);
        connect(incoming, &QTcpSocket::readyRead, this, &TransferSession::onReadyRead);
        logEvent(QStringLiteral("tcp-connected"), m_connections);

        const bool resumption = m_connections > 1;
        if (m_direction == Receive) {
            if (resumption) {
                qint64 held = m_position;
                char bytes[8];
                qToLittleEndian<qint64>(held, bytes);
                incoming->write(bytes, 8);
                logEvent(QStringLiteral("resume-offset-sent"), held);
            }
        } else {
            m_awaitingOffset = resumption;
            m_offsetBytes.clear();
            if (!resumption) {
                m_position = 0;
                connect(incoming, &QTcpSocket::bytesWritten, this, &TransferSession::sendMore);
                sendMore();
            }
        }
    }
}

void TransferSession::hashInOrder(const QByteArray& block)
{
    // Bytes sent again after a resumption at an earlier offset break the order.
    if (m_position != m_hashed) {
        m_hashInOrder = false;
        return;
    }
    m_hash.addData(block);
    m_hashed += block.size();
}

void TransferSession::cut(const char* why)
{
    --m_cutsLeft;
    logEvent(QString::fromLatin1(why), m_position);
    if (!m_socket)
        return;
    // A sender closes gracefully so that the peer still reads every byte written; a
    // receiver just stops taking bytes.
    if (m_direction == Send)
        m_socket->disconnectFromHost();
    else
        m_socket->abort();
}

void TransferSession::onReadyRead()
{
    QTcpSocket* socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket || socket != m_socket)
        return;
    if (m_direction == Send) {
        if (!m_awaitingOffset) {
            socket->readAll(); // nothing else is expected from a downloading peer
            return;
        }
        m_offsetBytes += socket->read(8 - m_offsetBytes.size());
        if (m_offsetBytes.size() < 8)
            return;
        m_awaitingOffset = false;
        const qint64 offset = qFromLittleEndian<qint64>(m_offsetBytes.constData());
        logEvent(QStringLiteral("resume-offset-received"), offset);
        m_position = qBound<qint64>(0, offset, m_size);
        connect(socket, &QTcpSocket::bytesWritten, this, &TransferSession::sendMore);
        sendMore();
        return;
    }

    while (socket->bytesAvailable() > 0 && m_position < m_size) {
        qint64 room = qMin(BlockSize, m_size - m_position);
        if (m_cutsLeft > 0 && m_faults.cutAfter > m_position)
            room = qMin(room, m_faults.cutAfter - m_position);
        if (m_readBuffer.size() < BlockSize)
            m_readBuffer.resize(int(BlockSize));
        const qint64 got = socket->read(m_readBuffer.data(), room);
        if (got <= 0)
            break;
        const QByteArray block = QByteArray::fromRawData(m_readBuffer.constData(), int(got));
        // Runs of zero bytes stay holes, so that huge test files cost no disk.
        const bool zeros = std::all_of(block.cbegin(), block.cend(), [](char c) { return c == 0; });
        if (!zeros) {
            m_file.seek(m_position);
            m_file.write(block);
        }
        hashInOrder(block);
        m_position += block.size();
        if (zeros && m_file.size() < m_position)
            m_file.resize(m_position);
        if (m_cutsLeft > 0 && m_position >= m_faults.cutAfter && m_position < m_size) {
            m_file.flush();
            cut("tcp-cut");
            return;
        }
    }
    if (m_position >= m_size) {
        m_file.flush();
        socket->readAll(); // bytes beyond the announced size are not part of the file
        if (!m_completeLogged) {
            m_completeLogged = true;
            logEvent(QStringLiteral("transfer-complete"), m_position);
        }
    }
}

void TransferSession::sendMore()
{
    QTcpSocket* socket = m_socket;
    if (!socket || m_awaitingOffset)
        return;
    while (socket->bytesToWrite() < MaxQueued && m_position < m_size) {
        qint64 chunk = qMin(BlockSize, m_size - m_position);
        const bool cutting = m_cutsLeft > 0 && m_faults.cutAfter > m_position;
        if (cutting)
            chunk = qMin(chunk, m_faults.cutAfter - m_position);
        if (m_faults.stallAfter >= 0) {
            if (m_position >= m_faults.stallAfter) {
                logEvent(QStringLiteral("tcp-stalled"), m_position);
                return;
            }
            chunk = qMin(chunk, m_faults.stallAfter - m_position);
        }
        m_file.seek(m_position);
        const QByteArray block = m_file.read(chunk);
        if (block.isEmpty())
            break; // the file shrank: a "file_size" lie or a local change
        socket->write(block);
        hashInOrder(block);
        m_position += block.size();
        if (m_cutsLeft > 0 && m_position >= m_faults.cutAfter && m_position < m_size) {
            // Let what was written reach the peer, then break the connection.
            disconnect(socket, &QTcpSocket::bytesWritten, this, &TransferSession::sendMore);
            connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
                if (socket->bytesToWrite() == 0 && socket == m_socket)
                    cut("tcp-cut");
            });
            return;
        }
    }
    if (m_position >= m_size && socket->bytesToWrite() == 0 && !m_completeLogged) {
        m_completeLogged = true;
        logEvent(QStringLiteral("transfer-complete"), m_position);
    }
}
