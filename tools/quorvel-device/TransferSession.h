#pragma once

#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "DeviceOptions.h"

class BackgroundFileMd5;
class BackgroundMd5;
class BlockRing;
class QTcpServer;
class TcpStream;
class WireLog;

// One TCP data stream the device accepted: an upload it receives or a download it
// sends. Later connections of a session are resumptions: the receiver first states the
// bytes it holds as 8 bytes, little-endian. Each connection runs on a thread of its own
// with blocking calls and hashes on another, so the device keeps pace with the client.
class TransferSession : public QObject {
    Q_OBJECT
public:
    enum Direction { Receive, Send };
    static constexpr int MaxConnections = 11;

    TransferSession(Direction direction, quint32 id, const QString& localPath, qint64 size, const DeviceFaults& faults,
        WireLog* log, const QString& device, QObject* parent);
    ~TransferSession() override;

    // Listens on the device's address; false when no port could be had.
    bool listen(const QHostAddress& address);
    quint16 port() const;
    quint32 id() const { return m_id; }
    Direction direction() const { return m_direction; }
    QString localPath() const { return m_path; }
    bool isComplete() const;
    // False between the last byte and the end of its hashing.
    bool isDigestReady() const { return m_digestReady || m_connections == 0; }
    // Runs `then` on this thread once the digest is ready.
    void whenDigestReady(const std::function<void()>& then);
    // MD5 of the bytes the device holds (receive) or of the file it serves (send).
    QString fileMd5();

private:
    void onConnection(qintptr descriptor);
    void stopConnection();
    void serve(TcpStream* stream, bool resumption);
    void receive(TcpStream& stream, bool resumption);
    void send(TcpStream& stream, bool resumption);
    void finishDigest();
    // Thread-safe: the line is written from the session's own thread.
    void post(const QString& what, qint64 value);
    void logEvent(const QString& what, qint64 value);
    bool cutDue() const;

    const Direction m_direction;
    const quint32 m_id;
    const QString m_path;
    const qint64 m_size;
    const DeviceFaults m_faults;
    WireLog* m_log;
    const QString m_device;

    QTcpServer* m_server = nullptr;
    QFile m_file;
    int m_connections = 0;

    // Shared with the connection thread; one connection runs at a time.
    std::thread m_thread;
    std::mutex m_streamMutex;
    std::unique_ptr<TcpStream> m_stream;
    std::atomic<qint64> m_position{0}; // bytes held (receive) or sent (send)
    int m_cutsLeft = 0;

    // Owned by the connection threads in turn. Receiving: the MD5 of the stream, which
    // stays in order because the device states the resumption offset. Sending: the whole
    // file's MD5, trailing the stream.
    std::unique_ptr<BlockRing> m_ring; // the buffers the digest and the file writer share
    std::unique_ptr<BackgroundMd5> m_hash;
    std::unique_ptr<BackgroundFileMd5> m_fileDigest;
    bool m_completeLogged = false;

    // Main thread.
    QString m_md5;
    bool m_digestReady = false;
    std::vector<std::function<void()>> m_waitingForDigest;
};
