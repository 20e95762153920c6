#include "DownloadServer.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>

#include "ProtocolWords.h"
#include "QuorvelClientDatabase.h"
#include "ServingSessions.h"
#include "StreamOffset.h"
#include "Timing.h"
#include "TransferCounter.h"
#include "utils/FileUtil.h"
#include "utils/Md5.h"

DownloadServer::DownloadServer(const QString& filePath, quint16 tcpPort, uint sessionId, const ServerContent& server)
    : m_filePath(filePath)
    , m_tcpPort(tcpPort)
    , m_sessionId(sessionId)
    , m_id(TransferCounter::next())
    , m_server(server)
{
}

ProgressContent DownloadServer::report(int progress) const
{
    ProgressContent p;
    p.type = ProgressContent::Upload;
    p.id = m_id;
    p.server = m_server;
    p.nativePath = m_filePath;
    p.progress = progress;
    p.bytes = m_sent;
    p.totalBytes = m_size;
    return p;
}

DownloadServer::~DownloadServer() = default;

void DownloadServer::finish()
{
    emit uploadProgress(report(0).ended(outcome()));
    if (!outcome().ok)
        return;
    RecentFilesContent record;
    record.uuid = m_server.uuid;
    record.type = QString(ProtocolType::FileUpload);
    record.nativePath = m_filePath;
    record.operateTime = QDateTime::currentMSecsSinceEpoch();
    record.dateModified = QFileInfo(m_filePath).lastModified().toMSecsSinceEpoch();
    QuorvelClientDatabase::instance()->addRecentFileRecord(record);
    emit updateRecentFileList();
}

void DownloadServer::error(const QString& text)
{
    fail(text);
    qCritical("[E][%s] %s", "DownloadServer", qUtf8Printable(text));
}

void DownloadServer::adoptListener(std::unique_ptr<QTcpServer> listener)
{
    m_listener = std::move(listener);
    m_tcpPort = m_listener->serverPort();
}

bool DownloadServer::listen()
{
    if (!m_listener)
        m_listener = std::make_unique<QTcpServer>();
    if (m_listener->isListening())
        return true;
    if (!m_listener->listen(QHostAddress::Any, m_tcpPort)) {
        error(QStringLiteral("DownloadServer: listen on %1 fail: %2").arg(m_tcpPort).arg(m_listener->errorString()));
        return false;
    }
    return true;
}

bool DownloadServer::lingerForResumption(QTcpServer& server)
{
    QDeadlineTimer deadline(Timing::current().servingTcpWaitMs);
    while (!deadline.hasExpired()) {
        if (ServingSessions::isConfirmed(m_sessionId))
            return false;
        if (server.waitForNewConnection(LingerSliceMs))
            return true;
    }
    return false;
}

void DownloadServer::execute()
{
    const Timing& timing = Timing::current();
    listen();
    QTcpServer& server = *m_listener;
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        error(QStringLiteral("DownloadServer: Open file fail."));
        return;
    }
    const qint64 size = file.size();
    m_size = size;
    Md5 md5;
    char buffer[BlockSize];
    qint64 offset = 0;
    qint64 hashed = 0; // bytes of the file the digest covers, in order
    bool hashInOrder = true; // false once a resumption restarted before that count
    for (int attempt = 0; attempt < timing.maxConnections; ++attempt) {
        // A connection that came while lingering is already pending: waiting again would
        // wait for a second one that never comes.
        if (!server.hasPendingConnections() && !server.waitForNewConnection(timing.servingAcceptWaitMs)) {
            error(QStringLiteral("DownloadServer: TCPServer timeout, not client connect."));
            continue;
        }
        QTcpSocket* socket = server.nextPendingConnection();
        if (attempt > 0) {
            if (!socket->waitForReadyRead(timing.servingTcpWaitMs))
                error(QStringLiteral("TCP socket wait for data timeout."));
            const QByteArray stated = socket->read(BlockSize); // only the bytes received count
            const qint64 parsed = StreamOffset::parseEither(stated);
            if (parsed < 0) {
                error(QStringLiteral("translate buffer to long fail.") + QString::fromLatin1(stated));
                offset = 0;
            } else {
                offset = qMin(parsed, size);
            }
            // Bytes lost in flight when the connection broke are sent again: then only a
            // digest of the whole file describes what the party now holds.
            if (offset != hashed)
                hashInOrder = false;
        }
        bool failed = false;
        while (offset < size && !failed) {
            if (!file.seek(offset)) {
                error(QStringLiteral("DownloadServer: File seek fail:"));
                break;
            }
            const qint64 n = file.read(buffer, BlockSize);
            if (n <= 0) {
                error(QStringLiteral("DownloadServer: Read file fail."));
                break;
            }
            if (socket->write(buffer, n) != n) {
                error(QStringLiteral("DownloadServer: Tcp write fail."));
                break;
            }
            while (socket->bytesToWrite() > 0) {
                if (!socket->waitForBytesWritten(timing.servingTcpWaitMs)) {
                    error(QString::fromUtf8("DownloadServer：Tcp wait for write timeout."));
                    m_progress = ProgressContent::Failed;
                    failed = true;
                    break;
                }
            }
            if (failed)
                break;
            if (hashInOrder) {
                md5.addData(buffer, n);
                hashed += n;
            }
            offset += n;
            m_sent = offset;
            const int percent = int(offset * 100 / size);
            if (percent != m_progress) {
                m_progress = percent;
                emit uploadProgress(report(percent));
            }
        }
        if (offset == size) {
            m_progress = ProgressContent::Done;
            succeed();
            ServingSessions::completeIfKnown(m_sessionId, hashInOrder ? md5.hexResult() : getFileMd5(m_filePath));
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(timing.servingTcpWaitMs);
            delete socket;
            // Every byte left here, but the party may have lost the end of the stream in
            // its buffers when the connection broke: stay a moment for it to come back,
            // until it confirms what it holds.
            if (lingerForResumption(server))
                continue;
            break;
        }
        m_progress = ProgressContent::Failed;
        socket->close();
        delete socket;
    }
    server.close();
}
