#pragma once

#include <QString>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "Md5.h"

class BlockRing;

// An MD5 computed on a thread of its own over blocks a transfer hands it in order, so
// that hashing overlaps moving the bytes instead of following it. The blocks are buffers
// of a BlockRing; each is released once hashed.
class BackgroundMd5 {
public:
    explicit BackgroundMd5(BlockRing& ring);
    ~BackgroundMd5();
    BackgroundMd5(const BackgroundMd5&) = delete;
    BackgroundMd5& operator=(const BackgroundMd5&) = delete;

    // Queues the first `size` bytes of a buffer of the ring (0: released unhashed).
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

    BlockRing& m_ring;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    qint64 m_hashed = 0;
    Md5 m_md5;
    std::thread m_thread;
};
