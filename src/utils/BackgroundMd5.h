#pragma once

#include <QByteArray>
#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "Md5.h"

// An MD5 computed on a thread of its own over blocks a transfer hands it in order, so
// that hashing overlaps moving the bytes instead of following it. The blocks live in a
// small ring of buffers: the transfer fills one (acquire), moves its bytes, then hands it
// over (submit); the buffer returns to the ring once hashed, so nothing is copied.
class BackgroundMd5 {
public:
    explicit BackgroundMd5(qint64 blockSize, int blocks = 4);
    ~BackgroundMd5();
    BackgroundMd5(const BackgroundMd5&) = delete;
    BackgroundMd5& operator=(const BackgroundMd5&) = delete;

    qint64 blockSize() const { return m_blockSize; }
    // A free buffer of blockSize() bytes; waits while every buffer is queued for hashing.
    char* acquire();
    // Queues the first `size` bytes of a buffer from acquire() (0 gives it back unhashed).
    void submit(char* block, qint64 size);
    // Waits until every queued block is hashed; 32 lower-case hex digits. The digest
    // starts afresh afterwards.
    QString hexResult();
    // Bytes hashed so far.
    qint64 hashedBytes() const;

private:
    struct Job {
        char* block;
        qint64 size;
    };
    void work();

    const qint64 m_blockSize;
    std::vector<QByteArray> m_buffers;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<char*> m_free;
    std::deque<Job> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    qint64 m_hashed = 0;
    Md5 m_md5;
    std::thread m_thread;
};
