#include "utils/BackgroundFileWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#ifdef Q_OS_LINUX
#include <linux/magic.h>
#include <sys/vfs.h>
#endif
#include <unistd.h>

#include "utils/BlockRing.h"

namespace {
// Direct writes are cheap on the file systems of local disks; on network shares each one
// waits for the server, and removable media are paced by the medium either way.
bool onLocalDisk(int descriptor)
{
#ifdef Q_OS_LINUX
    struct statfs fs;
    if (::fstatfs(descriptor, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC: return true;
    default: return false;
    }
#else
    Q_UNUSED(descriptor)
    return false;
#endif
}
} // namespace

BackgroundFileWriter::BackgroundFileWriter(BlockRing& ring, int descriptor, qint64 start, qint64 end, bool inOrder)
    : m_fd(descriptor)
    , m_flags(::fcntl(descriptor, F_GETFL))
    , m_inOrder(inOrder)
    // Short files stay in the cache, where whoever opens them next finds them.
    , m_directUsable(!inOrder && m_flags >= 0 && end - start >= StreamingCache::Lag && onLocalDisk(descriptor))
    , m_cache(descriptor, start, StreamingCache::Writing)
    , m_stage(ring, [this](const char* data, qint64 size, qint64 offset) { write(data, size, offset); })
{
}

BackgroundFileWriter::~BackgroundFileWriter()
{
    m_stage.drain();
    setDirect(false);
}

bool BackgroundFileWriter::finish()
{
    m_stage.drain();
    return !m_failed;
}

void BackgroundFileWriter::write(const char* data, qint64 size, qint64 offset)
{
    if (m_failed)
        return;
    const qint64 end = offset + size;
    while (size > 0) {
        const bool aligned = offset % BlockRing::Alignment == 0 && size % BlockRing::Alignment == 0
            && quintptr(data) % BlockRing::Alignment == 0;
        setDirect(aligned && m_directUsable);
        const ssize_t n
            = m_inOrder ? ::write(m_fd, data, size_t(size)) : ::pwrite(m_fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && m_direct) {
            // Some file systems take the flag but refuse the write (EINVAL, EOPNOTSUPP, ...):
            // the write is tried again through the cache, which tells a real failure.
            m_directUsable = false;
            continue;
        }
        if (n <= 0) {
            m_errno = n < 0 ? errno : ENOSPC; // a write that takes nothing: the disk is full
            m_error = n < 0 ? QString::fromLocal8Bit(std::strerror(m_errno)) : QStringLiteral("nothing written");
            m_failed = true;
            return;
        }
        if (m_direct)
            m_directBytes += n;
        data += n;
        size -= n;
        offset += n;
    }
    if (!m_direct && !m_inOrder)
        m_cache.advance(end);
}

void BackgroundFileWriter::setDirect(bool on)
{
#ifdef O_DIRECT
    if (on == m_direct)
        return;
    if (::fcntl(m_fd, F_SETFL, on ? (m_flags | O_DIRECT) : (m_flags & ~O_DIRECT)) == 0)
        m_direct = on;
    else if (on)
        m_directUsable = false; // a file system without direct writes
#else
    Q_UNUSED(on)
#endif
}
