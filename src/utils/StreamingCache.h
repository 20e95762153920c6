#pragma once

#include <QtGlobal>

// Streams a large file through the page cache without filling it: a stretch the stream
// passed a while ago is dropped from the cache (after it is flushed, when writing), so
// the stream keeps reusing the same memory and, when writing, the disk works alongside
// instead of all at the end. Files shorter than the lag are left to the kernel.
class StreamingCache {
public:
    enum Direction { Reading, Writing };
    static constexpr qint64 Stretch = 8 * 1024 * 1024;
    static constexpr qint64 Lag = 8 * Stretch;

    // `start`: where the sequential stream begins in the file open on `descriptor`.
    StreamingCache(int descriptor, qint64 start, Direction direction);
    // Everything before `end` has been read or written.
    void advance(qint64 end);

private:
    int m_fd;
    Direction m_direction;
    qint64 m_flushed; // writeback has been started up to here
    qint64 m_dropped; // dropped from the cache up to here
};
