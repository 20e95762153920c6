#include "quorvel/server/DownloadServer.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/protocol/StreamOffset.h"
#include "quorvel/server/OfferedFiles.h"
#include "quorvel/server/ServingSessions.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/tasks/TransferCounter.h"
#include "utils/BackgroundFileMd5.h"
#include "utils/FileUtil.h"
#include "utils/TcpStream.h"

namespace {
const char* const Tag = "DownloadServer";
constexpr int SocketBufferBytes = 4 * 1024 * 1024;
// Of a resumption text that does not parse, this much is quoted in the error.
constexpr int QuotedBytes = 64;
constexpr qint64 BackgroundDigestMin = 4 * 1024 * 1024;
} // namespace

DownloadServer::DownloadServer(const QString& filePath, quint16 tcpPort, uint sessionId, const ServerContent& server,
    const QHostAddress& party, ServingSessions& sessions)
    : m_filePath(filePath)
    , m_tcpPort(tcpPort)
    , m_sessionId(sessionId)
    , m_id(TransferCounter::next())
    , m_server(server)
    , m_party(party)
    , m_sessions(sessions)
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
    emit served(record);
    emit updateRecentFileList();
}

void DownloadServer::error(const QString& logText, const QString& reason)
{
    fail(reason);
    qCritical("[E][%s] %s", Tag, qUtf8Printable(logText));
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
        error(QStringLiteral("DownloadServer: listen on %1 fail: %2").arg(m_tcpPort).arg(m_listener->errorString()),
            tr("无法在端口 %1 上提供 %2: %3").arg(m_tcpPort).arg(m_filePath, m_listener->errorString()));
        return false;
    }
    return true;
}

void DownloadServer::stop()
{
    cancel();
    QMutexLocker lock(&m_streamLock);
    if (m_stream)
        m_stream->interrupt();
}

int DownloadServer::acceptParty(int waitMs)
{
    const int listening = int(m_listener->socketDescriptor());
    const QString party = OfferedFiles::key(m_party);
    const QDeadlineTimer deadline(waitMs);
    while (!isCancelled()) {
        pollfd p{listening, POLLIN, 0};
        const int ready = ::poll(&p, 1, int(qBound<qint64>(0, deadline.remainingTime(), SliceMs)));
        if (ready > 0) {
            sockaddr_storage from{};
            socklen_t length = sizeof from;
            const int fd = ::accept4(listening, reinterpret_cast<sockaddr*>(&from), &length, SOCK_CLOEXEC);
            if (fd >= 0) {
                const QString who = OfferedFiles::key(QHostAddress(reinterpret_cast<sockaddr*>(&from)));
                if (who == party)
                    return fd;
                // Whoever else connects gets nothing, not even a byte of the stream.
                ::close(fd);
                if (m_refused++ == 0)
                    qWarning("[W][%s] Refused a connection from %s to port %d: the file is served to %s only.", Tag,
                        qPrintable(who), m_tcpPort, qPrintable(party));
            }
        } else if (ready < 0 && errno != EINTR) {
            return -1;
        }
        if (deadline.hasExpired())
            return -1;
    }
    return -1;
}

bool DownloadServer::lingerForResumption()
{
    const QDeadlineTimer deadline(Timing::current().servingTcpWaitMs);
    while (!deadline.hasExpired() && !isCancelled()) {
        if (m_sessions.isConfirmed(m_sessionId))
            return false;
        // Short turns: the confirmation usually comes within milliseconds, and the task
        // should end (and write its record) before the party's next fetch.
        const int fd = acceptParty(LingerSliceMs);
        if (fd >= 0) {
            auto stream = std::make_unique<TcpStream>();
            stream->setBufferSizes(SocketBufferBytes);
            stream->adopt(fd);
            QMutexLocker lock(&m_streamLock);
            m_stream = std::move(stream);
            return true;
        }
    }
    return false;
}

bool DownloadServer::stream(int fileDescriptor, qint64 size, qint64* offset)
{
    TcpStream& socket = *m_stream;
    while (*offset < size) {
        const qint64 n = qMin(TransferBlockSize, size - *offset);
        if (!socket.sendFileBlock(fileDescriptor, *offset, n)) {
            if (socket.fileFailed())
                error(QStringLiteral("DownloadServer: Read file fail."),
                    tr("无法读取 %1: %2").arg(m_filePath, socket.errorString()));
            else if (socket.timedOut())
                error(QString::fromUtf8("DownloadServer：Tcp wait for write timeout."),
                    tr("%1 在接收 %2/%3 字节后停止了接收").arg(TaskOutcome::who(m_server)).arg(*offset).arg(size));
            else
                error(QStringLiteral("DownloadServer: Tcp write fail."),
                    tr("与 %1 的连接中断: %2").arg(TaskOutcome::who(m_server), socket.errorString()));
            return false;
        }
        *offset += n;
        m_sent = *offset;
        const int percent = int(*offset * 100 / size);
        if (percent != m_progress) {
            m_progress = percent;
            emit uploadProgress(report(percent));
        }
        if (isCancelled())
            return false;
    }
    return true;
}

void DownloadServer::execute()
{
    // Enrolled so that the end of the program can stop it wherever it waits.
    struct Enrolment {
        DownloadServer* server;
        bool in;
        explicit Enrolment(DownloadServer* s)
            : server(s)
            , in(s->m_sessions.enroll(s))
        {
        }
        ~Enrolment()
        {
            if (in)
                server->m_sessions.leave(server);
        }
    } enrolment(this);
    if (!enrolment.in)
        return (void)stopped(tr("已停止提供 %1").arg(m_filePath));
    const Timing& timing = Timing::current();
    if (!listen())
        return;
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        error(QStringLiteral("DownloadServer: Open file fail."),
            tr("无法打开 %1: %2").arg(m_filePath, file.errorString()));
        return;
    }
    const qint64 size = file.size();
    m_size = size;
    // The whole file's digest, whichever connections carry its bytes: a resumption that
    // sends bytes twice still leaves the party with the file.
    // A small file is hashed after it left: starting a thread for it would cost more
    // than the digest.
    std::unique_ptr<BackgroundFileMd5> digest;
    if (size > BackgroundDigestMin)
        digest = std::make_unique<BackgroundFileMd5>(file.handle(), size);
    QString md5;
    qint64 offset = 0;
    bool pending = false; // a connection came while lingering
    for (int attempt = 0; attempt < timing.maxConnections && !isCancelled(); ++attempt) {
        if (!pending) {
            const int fd = acceptParty(timing.servingAcceptWaitMs);
            if (fd < 0) {
                if (!isCancelled())
                    error(QStringLiteral("DownloadServer: TCPServer timeout, not client connect."),
                        tr("%1 在 %2 秒内没有来取 %3")
                            .arg(TaskOutcome::who(m_server))
                            .arg(timing.servingAcceptWaitMs / 1000.0)
                            .arg(m_filePath));
                continue;
            }
            auto stream = std::make_unique<TcpStream>();
            stream->setBufferSizes(SocketBufferBytes);
            stream->adopt(fd);
            QMutexLocker lock(&m_streamLock);
            m_stream = std::move(stream);
        }
        pending = false;
        m_stream->setTimeout(timing.servingTcpWaitMs);
        if (attempt > 0) {
            char stated[OffsetBufferSize];
            const qint64 n = m_stream->readSome(stated, OffsetBufferSize); // only the bytes received count
            if (n < 0)
                error(QString::fromLatin1(
                          m_stream->timedOut() ? "TCP socket wait for data timeout." : "TCP socket read data fail."),
                    tr("%1 没有说明从何处继续接收 %2").arg(TaskOutcome::who(m_server), m_filePath));
            const QByteArray text(stated, int(qMax<qint64>(0, n)));
            const qint64 parsed = StreamOffset::parseEither(text);
            if (parsed < 0) {
                error(QStringLiteral("translate buffer to long fail.") + QString::fromLatin1(text.left(QuotedBytes)),
                    tr("%1 给出的继续位置无效, 从头发送 %2").arg(TaskOutcome::who(m_server), m_filePath));
                offset = 0;
            } else {
                offset = qMin(parsed, size);
            }
        }
        if (stream(file.handle(), size, &offset)) {
            if (md5.isEmpty())
                md5 = digest ? digest->hexResult() : getFileMd5(m_filePath);
            if (md5.isEmpty()) {
                error(QStringLiteral("DownloadServer: Read file fail."), tr("无法读取 %1").arg(m_filePath));
                break;
            }
            m_progress = ProgressContent::Done;
            succeed();
            m_sessions.completeIfKnown(m_sessionId, md5);
            // The party reads to its end and closes; what it sends meanwhile is drained,
            // so that closing never resets the connection under bytes not yet read.
            m_stream->shutdownWrite();
            char drain[OffsetBufferSize];
            while (m_stream->readSome(drain, sizeof drain) > 0) { }
            {
                QMutexLocker lock(&m_streamLock);
                m_stream.reset();
            }
            // Every byte left here, but the party may have lost the end of the stream in
            // its buffers when the connection broke: stay a moment for it to come back,
            // until it confirms what it holds.
            if (lingerForResumption()) {
                pending = true;
                continue;
            }
            break;
        }
        m_progress = ProgressContent::Failed;
        QMutexLocker lock(&m_streamLock);
        m_stream.reset();
    }
    {
        QMutexLocker lock(&m_streamLock);
        m_stream.reset();
    }
    m_listener->close();
    if (m_refused > 1)
        qWarning("[W][%s] Refused %d connections to port %d from hosts other than %s.", Tag, m_refused, m_tcpPort,
            qPrintable(OfferedFiles::key(m_party)));
    if (isCancelled() && m_progress != ProgressContent::Done)
        stopped(tr("已停止提供 %1").arg(m_filePath));
}
