#include "quorvel/transfer/FileTransferServer.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QMutex>
#include <QThreadPool>

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/protocol/StreamOffset.h"
#include "quorvel/protocol/UdpRequest.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/ConfirmSchedule.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/tasks/TransferCounter.h"
#include "utils/BackgroundFileMd5.h"
#include "utils/FileUtil.h"
#include "utils/SharedFileMd5.h"
#include "utils/TcpStream.h"

namespace {
const char* const Tag = "FileTransferServer";
constexpr int SocketBufferBytes = 4 * 1024 * 1024;

QString lastComponent(const QString& path)
{
    return path.split(QLatin1Char('/')).last();
}
} // namespace

FileTransferServer::FileTransferServer(QuorvelClientDatabase* history)
    : m_history(history)
{
}

FileTransferServer::~FileTransferServer()
{
    // Uploads not yet started are dropped; the running one reaches its end first, as
    // it still reports through this object.
    const QList<QThreadPool*> lanes = m_lanes.values();
    for (QThreadPool* lane : lanes)
        lane->clear();
    for (QThreadPool* lane : lanes)
        lane->waitForDone();
}

QString FileTransferServer::remotePathFor(const QString& filePath, bool secure)
{
    const QString name = lastComponent(filePath);
    if (secure)
        return QStringLiteral("secure:/") + name;
    return QStringLiteral("/QuorVEL/上传/") + name;
}

int FileTransferServer::uploadFile(const QString& filePath, const ServerContent& server, bool secure)
{
    FileUploadTask* task = makeUpload(filePath, server, secure);
    const int id = task->id();
    start(task);
    return id;
}

FileUploadTask* FileTransferServer::makeUpload(const QString& filePath, const ServerContent& server, bool secure)
{
    auto* task = new FileUploadTask(filePath, server, secure, m_history);
    connect(task, &FileUploadTask::uploadProgress, this, &FileTransferServer::uploadProgress);
    connect(task, &FileUploadTask::updateRecentFileList, this, &FileTransferServer::updateRecentFileList);
    return task;
}

QThreadPool* FileTransferServer::laneFor(const ServerContent& server)
{
    const QString key = server.uuid.isEmpty() ? QStringLiteral("@%1:%2").arg(server.address.toString()).arg(server.port)
                                              : server.uuid;
    QMutexLocker lock(&m_lanesLock);
    QThreadPool*& lane = m_lanes[key];
    if (!lane) {
        lane = new QThreadPool(this);
        lane->setMaxThreadCount(1);
        // A lane idle for long gives its thread back; the pool stays for the order.
        lane->setExpiryTimeout(30000);
    }
    return lane;
}

void FileTransferServer::start(FileUploadTask* task)
{
    laneFor(task->server())->start(task);
}

void FileTransferServer::waitForDone()
{
    QList<QThreadPool*> lanes;
    {
        QMutexLocker lock(&m_lanesLock);
        lanes = m_lanes.values();
    }
    for (QThreadPool* lane : qAsConst(lanes))
        lane->waitForDone();
}

FileUploadTask::FileUploadTask(
    const QString& filePath, const ServerContent& server, bool secure, QuorvelClientDatabase* history)
    : m_history(history)
    , m_filePath(filePath)
    , m_server(server)
    , m_secure(secure)
    , m_speed(SocketBufferBytes)
{
    m_remotePath = FileTransferServer::remotePathFor(filePath, m_secure);
    m_id = TransferCounter::next();
    m_progress.type = m_secure ? ProgressContent::SecureUpload : ProgressContent::Upload;
    m_progress.id = m_id;
    m_progress.server = server;
    m_progress.nativePath = filePath;
    m_progress.remotePath = m_remotePath;
}

FileUploadTask::~FileUploadTask() = default;

void FileUploadTask::finish()
{
    emit uploadProgress(m_progress.ended(outcome()));
    if (!outcome().ok)
        return;
    emit updateRecentFileList();
    RecentFilesContent record;
    record.uuid = m_server.uuid;
    record.remotePath = m_remotePath;
    record.nativePath = m_filePath;
    record.type = m_secure ? QString(ProtocolValue::Secure) : QString(ProtocolType::FileUpload);
    record.dateModified = QFileInfo(m_filePath).lastModified().toMSecsSinceEpoch();
    record.operateTime = QDateTime::currentMSecsSinceEpoch();
    if (m_history)
        m_history->addRecentFileRecord(record);
}

bool FileUploadTask::readReply(UdpRequest& udp, QtJson::JsonObject* reply)
{
    switch (udp.readReplyFrom(m_server.address, ProtocolPort::Operation, reply)) {
    case UdpRequest::Reply::Ok: return true;
    case UdpRequest::Reply::WrongSender:
        qCritical("[E][%s] Udp receive a packet from a wrong host.", Tag);
        return fail(tr("回复不是来自 %1 的端口 %2").arg(TaskOutcome::who(m_server)).arg(ProtocolPort::Operation));
    case UdpRequest::Reply::NotJson:
        qCritical("[E][%s] Json parse fail.", Tag);
        return fail(TaskOutcome::badReply(m_server));
    }
    return false;
}

bool FileUploadTask::announce(qint64* tcpPort)
{
    UdpRequest udp;
    const Wakeup wakeup = stopsOnCancel(udp);
    QtJson::JsonObject request;
    request.insert(ProtocolKey::Type, QString(ProtocolType::FileUpload));
    request.insert(ProtocolKey::FileName, lastComponent(m_filePath));
    request.insert(ProtocolKey::FileSize, m_fileSize);
    request.insert(ProtocolKey::Option, QString(m_secure ? ProtocolValue::Secure : ProtocolValue::Normal));
    bool serializeFailed = false;
    if (!udp.send(request, m_server.address, ProtocolPort::Operation, &serializeFailed)) {
        if (serializeFailed)
            qCritical("[E][%s] Json serialize fail.", Tag);
        else
            qCritical("[E][%s] UdpSocket write packet fail.", Tag);
        return fail(tr("无法发送到 %1: %2").arg(TaskOutcome::who(m_server), udp.socket().errorString()));
    }
    if (!udp.waitForDatagram(Timing::current().uploadReplyWaitMs)) {
        if (isCancelled())
            return stopped();
        qCritical("[E][%s] Wait for udp packet fail.", Tag);
        return fail(TaskOutcome::noAnswer(m_server, Timing::current().uploadReplyWaitMs));
    }
    QtJson::JsonObject reply;
    if (!readReply(udp, &reply))
        return false;
    bool ok = false;
    m_sessionId = reply.value(ProtocolKey::SessionId).toInt(&ok);
    const QString reason = reply.value(ProtocolKey::Reason).toString();
    const QString refused = tr("%1 拒绝了该文件").arg(TaskOutcome::who(m_server));
    if (!reply.contains(ProtocolKey::SessionId) || !ok) {
        qCritical("[E][%s] Invalid session_id.", Tag);
        if (reply.contains(ProtocolKey::Reason))
            qWarning("[W][%s] Device says: %s", Tag, qUtf8Printable(reason));
        return reason.isEmpty() ? fail(TaskOutcome::badReply(m_server)) : fail(refused, reason);
    }
    const QString result = reply.value(ProtocolKey::Result).toString();
    if (result == ProtocolValue::Fail) {
        qCritical("[E][%s] Server response fail: %s.", Tag, qUtf8Printable(reason));
        return fail(refused, reason);
    }
    if (result != ProtocolValue::Ok) {
        qCritical("[E][%s] Server response a unknow result: %s.", Tag, qUtf8Printable(result));
        return fail(TaskOutcome::badReply(m_server));
    }
    const int port = reply.value(ProtocolKey::TcpPort).toInt(&ok);
    if (!reply.contains(ProtocolKey::TcpPort) || !ok || port <= 0 || port > 65535) {
        qCritical("[E][%s] Invalid tcp port.", Tag);
        return fail(tr("%1 没有给出可用的传输端口").arg(TaskOutcome::who(m_server)));
    }
    *tcpPort = port;
    return true;
}

void FileUploadTask::execute()
{
    QFile file(m_filePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qCritical("[E][%s] Open file %s fail.", Tag, qUtf8Printable(m_filePath));
        return (void)fail(tr("无法读取 %1: %2").arg(m_filePath, file.errorString()));
    }
    m_fileSize = file.size();
    qint64 tcpPort = 0;
    if (!announce(&tcpPort))
        return;

    // The whole file's digest, whichever connections carry its bytes: it trails the
    // stream on spare CPU and is finished while the last bytes cross the link. Uploads
    // of the same file to other devices at the same time share it.
    const std::shared_ptr<SharedFileMd5> shared = SharedFileMd5::of(file.handle(), m_fileSize);
    std::unique_ptr<BackgroundFileMd5> own;
    if (!shared)
        own = std::make_unique<BackgroundFileMd5>(file.handle(), m_fileSize);
    if (!deliver(file, int(tcpPort)))
        return;
    const QString md5 = shared ? shared->hexResult() : own->hexResult();
    if (md5.isEmpty()) {
        const QString why = shared ? shared->errorString() : own->errorString();
        qCritical("[E][%s] Read file fail: %s.", Tag, qUtf8Printable(why));
        return (void)fail(tr("无法读取 %1: %2").arg(m_filePath, why));
    }
    if (confirm(file, int(tcpPort), md5))
        succeed();
}

bool FileUploadTask::sendFile(QFile& file, int tcpPort)
{
    const int attempts = Timing::current().maxConnections;
    while (m_attempts < attempts) {
        if (isCancelled())
            return stopped();
        const bool resume = m_attempts++ > 0;
        if (uploadFileViaTcp(file, m_server.address, tcpPort, resume))
            return true;
    }
    return false;
}

bool FileUploadTask::deliver(QFile& file, int tcpPort)
{
    const int stallMs = Timing::current().uploadTcpWaitMs;
    while (sendFile(file, tcpPort)) {
        switch (m_stream->waitDelivered(stallMs, [this] { return isCancelled(); })) {
        case TcpStream::Delivery::Delivered:
        case TcpStream::Delivery::PeerClosed: return true;
        case TcpStream::Delivery::Cancelled: return stopped();
        case TcpStream::Delivery::Reset:
            qWarning("[W][%s] The device dropped the connection before it had every byte; resuming.", Tag);
            fail(tr("%1 在收到全部字节之前断开了连接").arg(TaskOutcome::who(m_server)));
            break;
        case TcpStream::Delivery::Stalled:
            qCritical("[E][%s] Tcp wait for write timeout: %s.", Tag, qUtf8Printable(m_stream->errorString()));
            fail(tr("%1 在 %3 秒内没有接收最后的 %2 字节: 网络或设备已停止")
                     .arg(TaskOutcome::who(m_server))
                     .arg(qMax<qint64>(0, m_stream->unacknowledged()))
                     .arg(stallMs / 1000.0));
            m_stream->abort();
            break;
        }
    }
    return false;
}

bool FileUploadTask::confirm(QFile& file, int tcpPort, const QString& md5)
{
    const Timing& timing = Timing::current();
    ConfirmSchedule schedule(timing);
    int answers = 0;
    for (int wait = schedule.nextWaitMs(); wait >= 0; wait = schedule.nextWaitMs()) {
        if (!pause(wait))
            return stopped();
        UdpRequest udp;
        const Wakeup wakeup = stopsOnCancel(udp);
        const QtJson::JsonObject query = ProtocolDefinedJsonObject::queryResult(m_sessionId, md5);
        bool serializeFailed = false;
        if (!udp.send(query, m_server.address, ProtocolPort::Operation, &serializeFailed)) {
            if (serializeFailed)
                qCritical("[E][%s] Json serialize fail.", Tag);
            else
                qCritical("[E][%s] UdpSocket write packet fail.", Tag);
            continue;
        }
        if (!udp.waitForDatagram(timing.uploadReplyWaitMs)) {
            qCritical("[E][%s] Wait for udp packet fail.", Tag);
            continue;
        }
        QtJson::JsonObject reply;
        if (!readReply(udp, &reply))
            continue;
        bool ok = false;
        const int session = reply.value(ProtocolKey::SessionId).toInt(&ok);
        if (!reply.contains(ProtocolKey::SessionId) || !ok || session != m_sessionId) {
            qCritical("[E][%s] Invalid session_id: %d, the right session_id is %d.", Tag, session, m_sessionId);
            continue;
        }
        const QString result = reply.value(ProtocolKey::Result).toString();
        if (result == ProtocolValue::Fail) {
            const QString reason = reply.value(ProtocolKey::Reason).toString();
            if (reason == ProtocolValue::NotComplete) {
                ++answers;
                // Whatever the resumption achieves, the device's answer decides; the
                // device gets its whole time again once the bytes are there.
                if (m_stream && m_stream->wasReset() && deliver(file, tcpPort))
                    schedule.restart();
                continue;
            }
            qCritical("[E][%s] Request fail: %s.", Tag, qUtf8Printable(reason));
            return fail(tr("%1 报告 %2 的副本不正确").arg(TaskOutcome::who(m_server), m_filePath), reason);
        }
        if (result == ProtocolValue::Ok)
            return true;
        qCritical("[E][%s] Unknown result: %s.", Tag, qUtf8Printable(result));
    }
    qCritical("[E][%s] Wait for server response timeout.", Tag);
    // The bytes arrived: the device is the side that stopped.
    return fail(tr("%1 已收到全部字节, 但在 %3 秒内的 %2 次状态查询后仍未确认该文件 (%4)")
                    .arg(TaskOutcome::who(m_server))
                    .arg(schedule.queries())
                    .arg(schedule.elapsedMs() / 1000.0, 0, 'f', 1)
                    .arg(answers ? tr("它一直回复\"not_complete\"") : tr("没有可用的回复")));
}

bool FileUploadTask::uploadFileViaTcp(QFile& file, QHostAddress& address, int port, bool resume)
{
    const int waitMs = Timing::current().uploadTcpWaitMs;
    m_stream = std::make_unique<TcpStream>();
    TcpStream& socket = *m_stream;
    socket.setBufferSizes(SocketBufferBytes);
    if (!socket.connectTo(address, quint16(port), waitMs)) {
        qCritical("[E][%s] Tcp connected timeout.", Tag);
        return fail(
            tr("无法连接到 %1 的端口 %2: %3").arg(TaskOutcome::who(m_server)).arg(port).arg(socket.errorString()));
    }
    socket.setTimeout(waitMs);
    m_bytesSent = 0;
    m_fileSize = file.size();
    m_speed.restart(0);

    if (resume) {
        char offset[StreamOffset::Size];
        int got = 0;
        while (got < StreamOffset::Size) {
            const qint64 n = socket.readSome(offset + got, StreamOffset::Size - got);
            if (n == 0 || (n < 0 && socket.timedOut())) {
                qCritical("[E][%s] TCP socket wait for data timeout.", Tag);
                return fail(tr("%1 没有告知从何处续传").arg(TaskOutcome::who(m_server)));
            }
            if (n < 0) {
                qCritical("[E][%s] TCP socket read length data fail.", Tag);
                return fail(tr("与 %1 的连接中断: %2").arg(TaskOutcome::who(m_server), socket.errorString()));
            }
            got += int(n);
        }
        m_bytesSent = StreamOffset::decode(QByteArray::fromRawData(offset, StreamOffset::Size));
        if (m_bytesSent < 0 || m_bytesSent > m_fileSize) {
            // A device that claims more than the file holds cannot be resumed.
            qCritical("[E][%s] TCP socket read length data fail.", Tag);
            return fail(tr("%1 要求从第 %2 字节续传, 而文件只有 %3 字节")
                            .arg(TaskOutcome::who(m_server))
                            .arg(m_bytesSent)
                            .arg(m_fileSize));
        }
    }

    // Blocks leave straight from the page cache.
    while (m_bytesSent < m_fileSize) {
        const qint64 n = qMin(TransferBlockSize, m_fileSize - m_bytesSent);
        if (!socket.sendFileBlock(file.handle(), m_bytesSent, n)) {
            if (socket.fileFailed()) {
                qCritical("[E][%s] Read file fail: %s.", Tag, qUtf8Printable(socket.errorString()));
                return fail(tr("无法读取 %1: %2").arg(m_filePath, socket.errorString()));
            }
            if (socket.timedOut()) {
                qCritical("[E][%s] Tcp wait for write timeout: %s.", Tag, qUtf8Printable(socket.errorString()));
                return fail(tr("%1 在接收 %2/%3 字节后停止了接收")
                                .arg(TaskOutcome::who(m_server))
                                .arg(m_bytesSent)
                                .arg(m_fileSize));
            }
            qCritical("[E][%s] Tcp write fail: %s.", Tag, qUtf8Printable(socket.errorString()));
            return fail(tr("与 %1 的连接中断: %2").arg(TaskOutcome::who(m_server), socket.errorString()));
        }
        m_bytesSent += n;
        const int percent = int(m_bytesSent * 100 / m_fileSize);
        if (percent != m_lastPercent) {
            m_lastPercent = percent;
            m_progress.progress = percent;
            m_progress.bytes = m_bytesSent;
            m_progress.totalBytes = m_fileSize;
            m_progress.speed = m_speed.sample(m_bytesSent);
            emit uploadProgress(m_progress);
        }
        if (isCancelled())
            return stopped();
    }
    // The device sees the end of the stream as if the connection closed; the connection
    // stays readable, so that a reset shows while the status is asked for.
    socket.shutdownWrite();
    return true;
}
