#include "quorvel/transfer/FileDownloader.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStorageInfo>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/protocol/StreamOffset.h"
#include "quorvel/protocol/UdpRequest.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/ConfirmSchedule.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/tasks/TransferCounter.h"
#include "quorvel/transfer/FileLanding.h"
#include "quorvel/transfer/PartialFile.h"
#include "utils/BackgroundFileWriter.h"
#include "utils/BackgroundMd5.h"
#include "utils/BlockRing.h"
#include "utils/FileUtil.h"
#include "utils/TcpStream.h"

namespace {
const char* const Tag = "FileDownloader";
constexpr int SocketBufferBytes = 4 * 1024 * 1024;
// A receive that gets fewer bytes than this in Timing::receiveIdleMs is cut.
constexpr qint64 IdleMinBytes = 4096;
} // namespace

FileDownloader::FileDownloader(
    const QString& remotePath, const QString& localPath, const ServerContent& server, qint64 dateModified, bool replace)
    : m_remotePath(remotePath)
    , m_localPath(localPath)
    , m_chosenPath(localPath)
    , m_server(server)
    , m_dateModified(dateModified)
    , m_id(TransferCounter::next())
    , m_replace(replace)
    , m_speed(SocketBufferBytes)
{
    m_progress.type = ProgressContent::Download;
    m_progress.id = m_id;
    m_progress.server = server;
    m_progress.nativePath = localPath;
    m_progress.remotePath = remotePath;
    m_progress.dateModified = dateModified;
}

FileDownloader::~FileDownloader()
{
    // The name this download was given is free for others once it ended (or never ran).
    FileLanding::release(m_chosenPath);
}

void FileDownloader::finish()
{
    emit updateProgress(m_progress.ended(outcome()));
    if (!outcome().ok)
        return;
    emit updateRecentFileList();
    RecentFilesContent record;
    record.uuid = m_server.uuid;
    record.type = QString(ProtocolType::FileDownload);
    record.remotePath = m_remotePath;
    record.nativePath = m_localPath;
    record.dateModified = m_dateModified;
    record.operateTime = QDateTime::currentMSecsSinceEpoch();
    if (m_history)
        m_history->addRecentFileRecord(record);
}

void FileDownloader::progressed(int percent)
{
    m_lastPercent = percent;
    m_progress.progress = percent;
    m_progress.bytes = m_received;
    m_progress.totalBytes = m_total;
    m_progress.speed = m_speed.sample(m_received);
    emit updateProgress(m_progress);
}

void FileDownloader::execute()
{
    const Timing& timing = Timing::current();
    UdpRequest udp;
    const Wakeup wakeup = stopsOnCancel(udp);
    bool serializeFailed = false;
    if (!udp.send(ProtocolDefinedJsonObject::fileDownload(m_remotePath), m_server.address, ProtocolPort::Operation,
            &serializeFailed)) {
        if (serializeFailed)
            return (void)fail(tr("无法写出对 %1 的请求").arg(m_remotePath));
    }
    if (!udp.waitForDatagram(timing.downloadReplyWaitMs)) {
        if (isCancelled())
            return (void)stopped();
        qCritical("[E][%s] Udpsocket receive fail.", Tag);
        return (void)fail(TaskOutcome::noAnswer(m_server, timing.downloadReplyWaitMs));
    }
    QtJson::JsonObject reply;
    switch (udp.readReplyFrom(m_server.address, ProtocolPort::Operation, &reply)) {
    case UdpRequest::Reply::Ok: break;
    case UdpRequest::Reply::WrongSender:
        qCritical("[E][%s] File download error: Wrong host or port.", Tag);
        return (void)fail(tr("回复不是来自 %1 的端口 %2").arg(TaskOutcome::who(m_server)).arg(ProtocolPort::Operation));
    case UdpRequest::Reply::NotJson:
        qCritical("[E][%s] Json object parse fail.", Tag);
        return (void)fail(TaskOutcome::badReply(m_server));
    }
    bool ok = false;
    if (reply.value(ProtocolKey::Result).toString() != ProtocolValue::Ok) {
        const QString reason = reply.value(ProtocolKey::Reason).toString();
        qCritical("[E][%s] Request fail:", Tag);
        if (reply.contains(ProtocolKey::Reason))
            qWarning("[W][%s] Device says: %s", Tag, qUtf8Printable(reason));
        // A JSON value that is no object reads as an empty object.
        if (reply.isEmpty())
            return (void)fail(TaskOutcome::badReply(m_server));
        return (void)fail(tr("%1 拒绝发送 %2").arg(TaskOutcome::who(m_server), m_remotePath), reason);
    }
    m_sessionId = reply.value(ProtocolKey::SessionId).toLongLong();
    const int port = reply.value(ProtocolKey::TcpPort).toInt(&ok);
    if (!reply.contains(ProtocolKey::TcpPort) || !ok || port <= 0 || port > 65535) {
        qCritical("[E][%s] Request fail: get tcp port fail.", Tag);
        return (void)fail(tr("%1 没有给出可用的传输端口").arg(TaskOutcome::who(m_server)));
    }
    m_total = qMax<qint64>(0, reply.value(ProtocolKey::FileSize).toLongLong());

    const qint64 overallMs
        = qint64(timing.receiveOverallMs) + m_total / (1024 * 1024) * qint64(timing.receiveOverallMsPerMiB);
    if (m_streamFd >= 0) {
        QFile out;
        if (!out.open(m_streamFd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle))
            return (void)fail(tr("无法写入 %1: %2").arg(m_localPath, out.errorString()));
        m_deadline.setRemainingTime(overallMs);
        // What went out cannot be taken back: one connection, then the device's word.
        const QString md5 = downloadFileViaTcp(out, m_server.address, port, m_total, false);
        out.close();
        if (isCancelled())
            return (void)stopped();
        if (!md5.isEmpty() && confirm(md5))
            succeed();
        return;
    }
    // The bytes gather in NAME.part, with a record of whose they are, and take the final
    // name only once confirmed: an interrupted download never leaves a file that looks
    // complete, the next one of the same file from the same party resumes from the part,
    // and a part this download did not write is never touched.
    QString reason;
    m_part = std::make_unique<PartialFile>(
        m_localPath, PartialFile::Owner{m_server.address.toString(), m_remotePath, m_total, m_dateModified});
    if (!m_part->open(&reason)) {
        qCritical("[E][%s] cant not open file to write.", Tag);
        return (void)fail(tr("无法写入 %1: %2").arg(m_localPath, reason));
    }
    const qint64 held = m_part->held();
    QStorageInfo disk(QFileInfo(m_part->partPath()).absolutePath());
    disk.refresh();
    if (disk.isValid() && disk.bytesAvailable() >= 0 && disk.bytesAvailable() < m_total - held) {
        m_part->discard();
        qCritical("[E][%s] Not enough space for %s: %lld bytes needed, %lld free.", Tag, qUtf8Printable(m_localPath),
            m_total - held, qint64(disk.bytesAvailable()));
        return (void)fail(tr("%1 空间不足, 无法存放 %2: 需要 %3 字节, 剩余 %4 字节")
                              .arg(disk.rootPath(), m_remotePath)
                              .arg(m_total - held)
                              .arg(disk.bytesAvailable()));
    }
    QFile& file = m_part->file();
    if (held > 0) {
        // The device takes an offset only on a later connection of the session: open
        // the first one and leave it at once.
        qInfo("[I][%s] Resuming %s at %lld of %lld bytes.", Tag, qUtf8Printable(m_part->partPath()), held, m_total);
        TcpStream first;
        first.connectTo(m_server.address, quint16(port), timing.downloadTcpWaitMs);
        first.abort();
    }
    // However the peer paces the bytes, the whole receive ends in a time that grows with
    // the size.
    m_deadline.setRemainingTime(overallMs);
    QString md5;
    int attempt = 0;
    for (; attempt < timing.maxConnections && md5.isEmpty() && !isCancelled() && !m_givenUp && !m_diskFull; ++attempt)
        md5 = downloadFileViaTcp(file, m_server.address, port, m_total, attempt > 0 || held > 0);
    if (!file.flush())
        qWarning("[W][%s] FIleDownloader: flush file fail.", Tag);
    file.close();
    if (m_diskFull) {
        // A full disk must not stay full because of us: what we wrote goes.
        m_part->discard();
        return (void)fail(tr("存放 %1 的磁盘已满: 未完成的文件已删除").arg(m_localPath));
    }
    if (isCancelled())
        return (void)stopped();
    if (md5.isEmpty())
        return;
    // After a resumption the digest of the stream covers only its tail: the whole file's.
    if (attempt > 1 || held > 0)
        md5 = getFileMd5(m_part->partPath());
    if (!confirm(md5))
        return;
    const QString landed = m_part->land(m_replace, &reason);
    if (landed.isEmpty())
        return (void)fail(reason);
    if (landed != m_localPath) {
        qInfo("[I][%s] %s was taken meanwhile: the file is %s.", Tag, qUtf8Printable(m_localPath),
            qUtf8Printable(landed));
        m_localPath = landed;
        m_progress.nativePath = landed;
    }
    succeed();
}

QString FileDownloader::partPathOf(const QString& localPath)
{
    return PartialFile::partPathOf(localPath);
}

bool FileDownloader::confirm(const QString& md5)
{
    const Timing& timing = Timing::current();
    bool notComplete = false; // the last answer said the sender has not sent everything
    // Every byte is here: the device is asked at once, then less and less often.
    ConfirmSchedule schedule(timing);
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
                qCritical("[E][%s] Socket write datagram fail.", Tag);
            continue;
        }
        if (!udp.waitForDatagram(timing.downloadReplyWaitMs))
            continue;
        QtJson::JsonObject reply;
        if (udp.readReplyFrom(m_server.address, ProtocolPort::Operation, &reply) != UdpRequest::Reply::Ok)
            continue;
        bool ok = false;
        const qint64 session = reply.value(ProtocolKey::SessionId).toLongLong(&ok);
        if (!reply.contains(ProtocolKey::SessionId) || !ok)
            continue;
        m_sessionId = session;
        const QString result = reply.value(ProtocolKey::Result).toString();
        if (result == ProtocolValue::Fail) {
            const QString reason = reply.value(ProtocolKey::Reason).toString();
            notComplete = reason == ProtocolValue::NotComplete;
            if (notComplete)
                continue;
            qCritical("[E][%s] Request fail%s:", Tag, qUtf8Printable(reason));
            if (m_part)
                m_part->discard();
            return fail(tr("%1 报告 %2 的副本不正确").arg(TaskOutcome::who(m_server), m_remotePath), reason);
        }
        notComplete = false;
        if (result == ProtocolValue::Ok)
            return true;
    }
    if (notComplete) {
        // The sender still had bytes to send when we had all it announced: its size was
        // not the file's (one over 4 GiB cut to what the wire can state, for one). What
        // arrived is not the file.
        qCritical("[E][%s] Request fail%s:", Tag, ProtocolValue::NotComplete.data());
        if (m_part)
            m_part->discard();
        return fail(
            tr("%1 始终没有确认 %2: 收到它声明的全部 %3 字节后, 它仍说传输未完成, 可见它声明的大小不是文件的大小")
                .arg(TaskOutcome::who(m_server), m_remotePath)
                .arg(m_total),
            QString(ProtocolValue::NotComplete));
    }
    // All bytes arrived: without an explicit failure the download counts as done.
    return true;
}

QString FileDownloader::downloadFileViaTcp(
    QFile& file, const QHostAddress& address, int port, qint64 fileSize, bool resume)
{
    const int waitMs = Timing::current().downloadTcpWaitMs;
    TcpStream socket;
    socket.setBufferSizes(SocketBufferBytes);
    if (!socket.connectTo(address, quint16(port), waitMs)) {
        qCritical("[E][%s] TCP socket connect fail.", Tag);
        fail(tr("无法连接到 %1 的端口 %2: %3").arg(TaskOutcome::who(m_server)).arg(port).arg(socket.errorString()));
        return QString();
    }
    const Timing& timing = Timing::current();
    // Woken at least once per idle period to see whether the peer still moves bytes.
    socket.setTimeout(qMin(waitMs, timing.receiveIdleMs));
    // Cancelling wakes the blocking reads at once, whatever the peer does.
    const Wakeup wakeup = wakeWith([&socket] { socket.interrupt(); });
    if (isCancelled())
        return QString();
    m_received = 0;
    m_total = fileSize;
    m_speed.restart(0);

    if (resume) {
        file.flush();
        m_received = file.size();
        const QByteArray offset = StreamOffset::encode(m_received);
        if (!socket.writeAll(offset.constData(), offset.size())) {
            if (socket.timedOut())
                qCritical("[E][%s] Tcp wait for write timeout: %s.", Tag, qUtf8Printable(socket.errorString()));
            else
                qCritical("[E][%s] Tcp write fail: %s.", Tag, qUtf8Printable(socket.errorString()));
            fail(tr("与 %1 的连接中断: %2").arg(TaskOutcome::who(m_server), socket.errorString()));
            return QString();
        }
    }

    // Bytes land in a buffer of the ring and go from there to the digest and to the file,
    // each on a thread of its own, while the next ones arrive.
    BlockRing ring(TransferBlockSize);
    BackgroundMd5 md5(ring);
    BackgroundFileWriter disk(ring, file.handle(), m_streamFd >= 0);
    QElapsedTimer idle;
    idle.start();
    qint64 idleFrom = m_received;
    while (m_received < m_total && !disk.failed()) {
        char* block = ring.acquire(2);
        const qint64 room = qMin(ring.toBlockEnd(m_received), m_total - m_received);
        const qint64 n = socket.readFull(block, room);
        if (n <= 0) {
            ring.release(block, 2);
            if (n == 0 || socket.timedOut()) {
                qCritical("[E][%s] TCP socket wait for data timeout.", Tag);
                fail(tr("%1 在发送 %2/%3 字节后停止了发送")
                         .arg(TaskOutcome::who(m_server))
                         .arg(m_received)
                         .arg(m_total));
            } else {
                qCritical("[E][%s] TCP socket read data fail.", Tag);
                fail(tr("与 %1 的连接中断: %2").arg(TaskOutcome::who(m_server), socket.errorString()));
            }
            return QString();
        }
        disk.submit(block, n, m_received);
        md5.submit(block, n);
        m_received += n;
        const int percent = int(m_received * 100 / m_total);
        if (percent != m_lastPercent)
            progressed(percent);
        if (isCancelled())
            return QString();
        // A peer that keeps the connection alive with a byte now and then holds a receive
        // slot for nothing: cut it.
        if (idle.elapsed() >= timing.receiveIdleMs) {
            if (m_received - idleFrom < IdleMinBytes) {
                qCritical("[E][%s] TCP socket wait for data timeout.", Tag);
                m_givenUp = true;
                fail(tr("%1 在 %3 秒内只发送了 %2 字节: 在 %4/%5 字节时放弃")
                         .arg(TaskOutcome::who(m_server))
                         .arg(m_received - idleFrom)
                         .arg(idle.elapsed() / 1000.0, 0, 'f', 1)
                         .arg(m_received)
                         .arg(m_total));
                return QString();
            }
            idle.restart();
            idleFrom = m_received;
        }
        if (m_deadline.hasExpired()) {
            qCritical("[E][%s] TCP socket wait for data timeout.", Tag);
            m_givenUp = true;
            fail(tr("%1 太慢: 在该文件允许的时间内只收到 %2/%3 字节")
                     .arg(TaskOutcome::who(m_server))
                     .arg(m_received)
                     .arg(m_total));
            return QString();
        }
    }
    if (!disk.finish()) {
        m_diskFull = disk.errorNumber() == ENOSPC || disk.errorNumber() == EDQUOT;
        qCritical("[E][%s] Write data fail.", Tag);
        fail(tr("无法写入 %1: %2").arg(m_localPath, disk.errorString()));
        return QString();
    }
    m_lastPercent = ProgressContent::Done;
    return md5.hexResult();
}
