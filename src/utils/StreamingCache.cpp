#include "utils/StreamingCache.h"

#include <fcntl.h>

StreamingCache::StreamingCache(int descriptor, qint64 start, Direction direction)
    : m_fd(descriptor)
    , m_direction(direction)
    , m_flushed(start)
    , m_dropped(start)
{
}

void StreamingCache::advance(qint64 end)
{
#ifdef Q_OS_LINUX
    while (end - m_flushed >= Stretch) {
        if (m_direction == Writing)
            ::sync_file_range(m_fd, m_flushed, Stretch, SYNC_FILE_RANGE_WRITE);
        m_flushed += Stretch;
    }
    while (m_flushed - m_dropped >= Lag) {
        // Written back long ago as a rule, so the wait is short; dirty pages would not
        // be dropped.
        if (m_direction == Writing)
            ::sync_file_range(m_fd, m_dropped, Stretch,
                SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        ::posix_fadvise(m_fd, m_dropped, Stretch, POSIX_FADV_DONTNEED);
        m_dropped += Stretch;
    }
#else
    Q_UNUSED(end)
#endif
}
