#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>
#include <atomic>
#include <functional>

// A TCP connection for bulk transfers, driven with blocking calls on the transfer's own
// thread: no event loop, no intermediate buffer between the kernel and the caller's
// memory, and files go out with sendfile() straight from the page cache. Every call
// waits at most the timeout for progress.
class TcpStream {
public:
    enum class SendFile { Sent, Failed, Unsupported };

    TcpStream() = default;
    ~TcpStream();
    TcpStream(const TcpStream&) = delete;
    TcpStream& operator=(const TcpStream&) = delete;

    // Socket buffers for the next connection; the receive size must precede connecting
    // to take part in the window negotiation.
    void setBufferSizes(int bytes) { m_bufferBytes = bytes; }
    void setTimeout(int ms);
    bool connectTo(const QHostAddress& address, quint16 port, int timeoutMs);
    // Takes over an accepted descriptor.
    bool adopt(int descriptor);
    bool isOpen() const { return m_fd >= 0; }

    // Up to `size` bytes, as soon as some are there. > 0: bytes read; 0: the peer closed;
    // -1: failure or timeout (timedOut()).
    qint64 readSome(char* data, qint64 size);
    // Like readSome, but waits for all `size` bytes unless the peer closes, the timeout
    // passes or the connection fails; a shortfall shows on the next call.
    qint64 readFull(char* data, qint64 size);
    bool writeAll(const char* data, qint64 size);
    // `size` bytes of an open file from `offset`; Unsupported when the file cannot be
    // spliced, before anything was sent.
    SendFile sendFile(int fileDescriptor, qint64 offset, qint64 size);
    // `size` bytes of an open file from `offset`: spliced from the page cache where the
    // file allows it, otherwise read into a buffer of this stream's and written (and,
    // once the file proved unspliceable, always so). False when the connection fails or
    // the file cannot be read (errorString()).
    bool sendFileBlock(int fileDescriptor, qint64 offset, qint64 size);

    enum class Delivery { Delivered, PeerClosed, Reset, Stalled, Cancelled };
    // Bytes written that the peer has not acknowledged yet (the send queue); -1 when
    // the kernel does not say.
    qint64 unacknowledged() const;
    // Waits until the peer acknowledged every byte written (Delivered), closed its side
    // (PeerClosed: it read what it wanted) or reset the connection; Stalled when the
    // queue did not shrink for `stallMs`, Cancelled once `cancelled` says so (asked
    // every few milliseconds). A returned call to sendfile() only means the kernel has
    // the bytes: on a slow link they arrive seconds later.
    Delivery waitDelivered(int stallMs, const std::function<bool()>& cancelled);

    // The peer dropped the connection with a reset (checked without waiting): what it
    // had not read yet is lost. A peer that closed cleanly had read everything.
    bool wasReset();
    // Ends the sending direction; the peer still reads what was sent.
    void shutdownWrite();
    // Wakes a call blocked on another thread; the connection is dead afterwards.
    void interrupt();
    // Drops the connection with a reset.
    void abort();
    void close();

    bool timedOut() const { return m_timedOut; }
    // The last failure of sendFileBlock() came from the file, not the connection.
    bool fileFailed() const { return m_fileFailed; }
    QString errorString() const { return m_error; }

private:
    qint64 receive(char* data, qint64 size, int flags);
    void fail(int error);

    std::atomic<int> m_fd{-1};
    int m_bufferBytes = 0;
    bool m_timedOut = false;
    bool m_fileFailed = false;
    bool m_reset = false;
    bool m_writeShut = false; // our end of stream is in the send queue
    bool m_spliceUnsupported = false;
    QByteArray m_copy; // only for files that cannot be spliced
    QString m_error;
};
