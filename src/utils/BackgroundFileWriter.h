#pragma once

#include <QString>
#include <atomic>

#include "utils/RingStage.h"

class BlockRing;

// Writes a received stream into its file on a thread of its own, so that the copy into
// the file overlaps receiving. Writes go into the page cache and never wait for the
// disk: the kernel writes them back on its own time, so a disk slower than the link
// (a virtual disk takes one direct write after another at a fraction of loopback's
// speed) does not pace the transfer. Its dirty-page limits still hold a stream far
// longer than memory to the disk's pace.
class BackgroundFileWriter {
public:
    // Into the file open for writing on `descriptor`.
    // inOrder: the descriptor is a pipe or standard output, written in arrival order and
    // never at offsets (standard output may be a file opened for appending).
    BackgroundFileWriter(BlockRing& ring, int descriptor, bool inOrder = false);
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

private:
    void write(const char* data, qint64 size, qint64 offset);

    const int m_fd;
    const bool m_inOrder;
    std::atomic<bool> m_failed{false};
    QString m_error;
    int m_errno = 0;
    RingStage m_stage; // last: its thread stops before the rest goes
};
