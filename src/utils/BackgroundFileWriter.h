#pragma once

#include <QString>
#include <atomic>

#include "utils/RingStage.h"
#include "utils/StreamingCache.h"

class BlockRing;

// Writes a received stream into its file on a thread of its own, so that the disk work
// overlaps receiving. A long stream goes straight to the disk (O_DIRECT) when the file
// is on a local disk's file system: no copy into the page cache and no writeback work on
// this machine's processors, and the cache keeps what it held. What cannot go direct (an
// unaligned start after a resumption, the tail, a file system that refuses) goes through
// the cache, and a long stream through the cache does not fill it (StreamingCache).
class BackgroundFileWriter {
public:
    // Into the file open for writing on `descriptor`; the stream covers [start, end).
    // inOrder: the descriptor is a pipe or standard output, written in arrival order and
    // never at offsets (standard output may be a file opened for appending).
    BackgroundFileWriter(BlockRing& ring, int descriptor, qint64 start, qint64 end, bool inOrder = false);
    // Writes whatever is still queued.
    ~BackgroundFileWriter();
    BackgroundFileWriter(const BackgroundFileWriter&) = delete;
    BackgroundFileWriter& operator=(const BackgroundFileWriter&) = delete;

    // Queues `size` bytes of a buffer of the ring for `offset`; the buffer is released
    // once written (without writing after a failure).
    void submit(char* block, qint64 size, qint64 offset) { m_stage.submit(block, size, offset); }
    // Waits until everything queued is written; false when a write failed.
    bool finish();
    // A write failed; later blocks are not written.
    bool failed() const { return m_failed; }
    // Why, once finish() returned false.
    QString errorString() const { return m_error; }
    // The system's error number of the failed write (ENOSPC for a full disk), 0 if none.
    int errorNumber() const { return m_errno; }
    // Bytes that went straight to the disk.
    qint64 directBytes() const { return m_directBytes; }

private:
    void write(const char* data, qint64 size, qint64 offset);
    void setDirect(bool on);

    const int m_fd;
    const int m_flags; // the descriptor's own status flags, restored at the end
    const bool m_inOrder;
    bool m_directUsable;
    bool m_direct = false;
    StreamingCache m_cache; // for what goes through the cache
    std::atomic<bool> m_failed{false};
    std::atomic<qint64> m_directBytes{0};
    QString m_error;
    int m_errno = 0;
    RingStage m_stage; // last: its thread stops before the rest goes
};
