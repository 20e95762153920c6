#pragma once

#include <QByteArray>
#include <QString>
#include <atomic>
#include <thread>

#include "utils/Md5.h"

// The MD5 of the first `size` bytes of an open file, hashed on a thread of its own while
// a transfer sends the same bytes straight from the page cache: the stream never waits
// for the digest. The thread keeps its starter's priority: the receiver hashes the same
// bytes at the same time, and a sender's digest that only took what CPU the other side
// left would be finished alone, on one core, after the last byte. Whoever asks for the
// result takes over and hashes what is left.
class BackgroundFileMd5 {
public:
    // Reads with pread(), so the descriptor's offset is left alone; it must stay open
    // while this object lives.
    BackgroundFileMd5(int descriptor, qint64 size);
    ~BackgroundFileMd5();
    BackgroundFileMd5(const BackgroundFileMd5&) = delete;
    BackgroundFileMd5& operator=(const BackgroundFileMd5&) = delete;

    // Finishes the digest on the calling thread: 32 lower-case hex digits, or empty when
    // the file could not be read whole (errorString() says why).
    QString hexResult();
    QString errorString() const { return m_error; }
    // Bytes hashed so far.
    qint64 hashedBytes() const { return m_hashed; }

private:
    // Hashes on from hashedBytes() until the end, a read failure or, when `yield` is
    // set, until asked to stop.
    void hash(const std::atomic<bool>* yield);

    const int m_fd;
    const qint64 m_size;
    Md5 m_md5;
    QByteArray m_buffer;
    std::atomic<qint64> m_hashed{0};
    std::atomic<bool> m_stop{false};
    bool m_finished = false;
    QString m_error;
    QString m_hex;
    std::thread m_thread;
};
