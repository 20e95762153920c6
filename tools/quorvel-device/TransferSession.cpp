#include "TransferSession.h"

#include <QJsonObject>
#include <QTcpServer>
#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

#include "WireLog.h"
#include "utils/BackgroundFileMd5.h"
#include "utils/BackgroundFileWriter.h"
#include "utils/BackgroundMd5.h"
#include "utils/BlockRing.h"
#include "utils/FileUtil.h"
#include "utils/StreamingCache.h"
#include "utils/TcpStream.h"

namespace {
constexpr qint64 BlockSize = 262144;
constexpr int SocketBufferBytes = 4 * 1024 * 1024;

// Hands accepted descriptors over untouched: the connection threads drive them.
class DescriptorServer : public QTcpServer {
public:
    std::function<void(qintptr)> accepted;

protected:
    void incomingConnection(qintptr descriptor) override { accepted(descriptor); }
};
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
        m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
    else
        m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

TransferSession::~TransferSession()
{
    stopConnection();
}

bool TransferSession::listen(const QHostAddress& address)
{
    if (!m_file.isOpen())
        return false;
    auto* server = new DescriptorServer;
    server->setParent(this);
    server->accepted = [this](qintptr descriptor) { onConnection(descriptor); };
    m_server = server;
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

void TransferSession::whenDigestReady(const std::function<void()>& then)
{
    if (isDigestReady())
        then();
    else
        m_waitingForDigest.push_back(then);
}

QString TransferSession::fileMd5()
{
    if (m_digestReady)
        return m_md5;
    return getFileMd5(m_path); // nothing moved: the file as it stands
}

void TransferSession::logEvent(const QString& what, qint64 value)
{
    QJsonObject details;
    details["session"] = double(m_id);
    details["value"] = double(value);
    details["direction"] = m_direction == Receive ? "receive" : "send";
    m_log->event(m_device, what, details);
}

void TransferSession::post(const QString& what, qint64 value)
{
    QMetaObject::invokeMethod(
        this, [this, what, value] { logEvent(what, value); }, Qt::QueuedConnection);
}

void TransferSession::stopConnection()
{
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        if (m_stream)
            m_stream->interrupt();
    }
    if (m_thread.joinable())
        m_thread.join();
    m_stream.reset();
}

void TransferSession::onConnection(qintptr descriptor)
{
    auto stream = std::make_unique<TcpStream>();
    stream->setBufferSizes(SocketBufferBytes);
    if (m_connections >= MaxConnections) {
        logEvent(QStringLiteral("tcp-refused"), m_connections);
        stream->adopt(int(descriptor));
        stream->abort();
        return;
    }
    stopConnection(); // the peer gave the earlier one up
    ++m_connections;
    stream->adopt(int(descriptor));
    logEvent(QStringLiteral("tcp-connected"), m_connections);
    TcpStream* raw = stream.get();
    {
        std::lock_guard<std::mutex> lock(m_streamMutex);
        m_stream = std::move(stream);
    }
    const bool resumption = m_connections > 1;
    m_thread = std::thread([this, raw, resumption] { serve(raw, resumption); });
}

bool TransferSession::cutDue() const
{
    const qint64 position = m_position;
    return m_cutsLeft > 0 && position >= m_faults.cutAfter && position < m_size;
}

void TransferSession::serve(TcpStream* stream, bool resumption)
{
    if (m_direction == Receive) {
        if (!m_hash) {
            m_ring = std::make_unique<BlockRing>(BlockSize);
            m_hash = std::make_unique<BackgroundMd5>(*m_ring);
        }
        receive(*stream, resumption);
    } else {
        if (!m_fileDigest)
            m_fileDigest = std::make_unique<BackgroundFileMd5>(m_file.handle(), m_size);
        send(*stream, resumption);
    }
    if (m_position >= m_size && !m_completeLogged) {
        m_completeLogged = true;
        post(QStringLiteral("transfer-complete"), m_position);
        finishDigest();
    }
    // Keep the connection until the peer closes it (or a newer connection replaces it).
    char sink[4096];
    while (stream->readSome(sink, sizeof sink) > 0) { }
}

void TransferSession::finishDigest()
{
    // Empty when the file is shorter than announced.
    QString md5 = m_fileDigest ? m_fileDigest->hexResult() : m_hash->hexResult();
    if (md5.isEmpty())
        md5 = getFileMd5(m_path);
    m_hash.reset();
    m_ring.reset();
    m_fileDigest.reset();
    QMetaObject::invokeMethod(
        this,
        [this, md5] {
            m_md5 = md5;
            m_digestReady = true;
            for (const auto& then : std::exchange(m_waitingForDigest, {}))
                then();
        },
        Qt::QueuedConnection);
}

void TransferSession::receive(TcpStream& stream, bool resumption)
{
    const int fd = m_file.handle();
    if (resumption) {
        const qint64 held = m_position;
        char bytes[8];
        qToLittleEndian<qint64>(held, bytes);
        stream.writeAll(bytes, 8);
        post(QStringLiteral("resume-offset-sent"), held);
    }
    qint64 fileEnd = m_position;
    BackgroundFileWriter disk(*m_ring, fd);
    while (m_position < m_size) {
        qint64 room = qMin(m_ring->toBlockEnd(m_position), m_size - m_position);
        if (m_cutsLeft > 0 && m_faults.cutAfter > m_position)
            room = qMin(room, m_faults.cutAfter - m_position);
        char* block = m_ring->acquire(2);
        const qint64 got = stream.readFull(block, room);
        if (got <= 0) {
            m_ring->release(block, 2);
            break; // the client gave this connection up
        }
        const qint64 position = m_position;
        // Runs of zero bytes stay holes, so that huge test files cost no disk.
        const bool zeros = std::all_of(block, block + got, [](char c) { return c == 0; });
        disk.submit(block, zeros ? 0 : got, position);
        if (position + got > fileEnd) {
            fileEnd = position + got;
            if (zeros && ::ftruncate(fd, off_t(fileEnd)) != 0)
                post(QStringLiteral("write-failed"), position);
        }
        // The device states its offset on resumption, so the stream stays in order.
        m_hash->submit(block, got);
        m_position = position + got;
        if (cutDue()) {
            --m_cutsLeft;
            post(QStringLiteral("tcp-cut"), m_position);
            // A receiver just stops taking bytes.
            std::lock_guard<std::mutex> lock(m_streamMutex);
            stream.abort();
            break;
        }
    }
    if (!disk.finish())
        post(QStringLiteral("write-failed"), m_position);
}

void TransferSession::send(TcpStream& stream, bool resumption)
{
    const int fd = m_file.handle();
    if (resumption) {
        char bytes[8];
        int got = 0;
        while (got < 8) {
            const qint64 n = stream.readSome(bytes + got, 8 - got);
            if (n <= 0)
                return;
            got += int(n);
        }
        const qint64 offset = qFromLittleEndian<qint64>(bytes);
        post(QStringLiteral("resume-offset-received"), offset);
        m_position = qBound<qint64>(0, offset, m_size);
    } else {
        m_position = 0;
    }
    StreamingCache disk(fd, m_position, StreamingCache::Reading);
    while (m_position < m_size) {
        const qint64 position = m_position;
        qint64 chunk = qMin(BlockSize, m_size - position);
        if (m_cutsLeft > 0 && m_faults.cutAfter > position)
            chunk = qMin(chunk, m_faults.cutAfter - position);
        if (m_faults.trickleAfter >= 0 && position >= m_faults.trickleAfter) {
            // Alive, but only just: one byte now and then.
            if (position == m_faults.trickleAfter)
                post(QStringLiteral("tcp-trickling"), position);
            QThread::msleep(ulong(m_faults.trickleMs));
            chunk = 1;
        } else if (m_faults.trickleAfter >= 0) {
            chunk = qMin(chunk, m_faults.trickleAfter - position);
        }
        if (m_faults.stallAfter >= 0) {
            if (position >= m_faults.stallAfter) {
                post(QStringLiteral("tcp-stalled"), position);
                return; // the connection stays open, silent
            }
            chunk = qMin(chunk, m_faults.stallAfter - position);
        }
        // Fails when the file is shorter than announced (a "file_size" lie) or the peer left.
        if (!stream.sendFileBlock(fd, position, chunk))
            return;
        m_position = position + chunk;
        // The trailing digest reads these pages too: drop only what both have passed.
        disk.advance(qMin<qint64>(m_position, m_fileDigest->hashedBytes()));
        if (cutDue()) {
            --m_cutsLeft;
            post(QStringLiteral("tcp-cut"), m_position);
            // A sender closes gracefully so that the peer still reads every byte written.
            stream.shutdownWrite();
            return;
        }
    }
}
