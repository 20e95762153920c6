#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class BlockRing;

// One stage that the blocks of a BlockRing pass through (the digest, the file writer): a
// thread of its own takes them in the order they were handed over and releases each one
// to the ring once done.
class RingStage {
public:
    using Work = std::function<void(const char* data, qint64 size, qint64 offset)>;

    RingStage(BlockRing& ring, Work work);
    // Stops; blocks still queued go back to the ring undone.
    ~RingStage();
    RingStage(const RingStage&) = delete;
    RingStage& operator=(const RingStage&) = delete;

    // Queues `size` bytes of a buffer of the ring, to be done at `offset` (0 bytes: the
    // buffer is released at once).
    void submit(char* block, qint64 size, qint64 offset);
    // Waits until every queued block is done.
    void drain();

private:
    struct Job {
        char* block;
        qint64 size;
        qint64 offset;
    };
    void run();

    BlockRing& m_ring;
    const Work m_work;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};
