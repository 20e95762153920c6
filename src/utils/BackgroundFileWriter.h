#pragma once

#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class BlockRing;

// Writes a received stream into its file on a thread of its own, so that the disk work
// overlaps receiving. A long stream goes straight to the disk (O_DIRECT) when the file
// is on a local disk's file system: no copy into the page cache and no writeback work on
// this machine's processors, and the cache keeps what it held. What cannot go direct (an unaligned start
// after a resumption, the tail, a file system that refuses) goes through the cache, and a
// long stream through the cache does not fill it (StreamingCache).
class BackgroundFileWriter {
public:
    // Into the file open for writing on `descriptor`; the stream covers [start, end).
    BackgroundFileWriter(BlockRing& ring, int descriptor, qint64 start, qint64 end);
    // Writes whatever is still queued.
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter&) = delete;
    BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

    // Queues `size` bytes of a buffer of the ring for `offset`; the buffer is released
    // once written (at once after a failure).
    void submit(char* block, qint64 size, qint64 offset);
    // Waits until everything queued is written; false when a write failed.
    bool finish();
    // A write failed; later blocks are not written.
    bool failed() const { return m_failed; }
    QString errorString() const;
    // Bytes that went straight to the disk.
    qint64 directBytes() const { return m_directBytes; }

private:
    struct Job {
        char* block;
        qint64 size;
        qint64 offset;
    };
    void work();
    bool write(const char* data, qint64 size, qint64 offset);
    void setDirect(bool on);

    BlockRing& m_ring;
    const int m_fd;
    const int m_flags; // the descriptor's own status flags, restored at the end
    const qint64 m_start;
    bool m_directUsable;
    bool m_direct = false;
    std::atomic<bool> m_failed{false};
    std::atomic<qint64> m_directBytes{0};
    QString m_error;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Job> m_queue;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};
