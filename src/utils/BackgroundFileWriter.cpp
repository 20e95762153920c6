#include "utils/BackgroundFileWriter.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

BackgroundFileWriter::BackgroundFileWriter(BlockRing& ring, int descriptor, bool inOrder)
    : m_fd(descriptor)
    , m_inOrder(inOrder)
    , m_stage(ring, [this](const char* data, qint64 size, qint64 offset) { write(data, size, offset); })
{
}

BackgroundFileWriter::~BackgroundFileWriter()
{
    m_stage.drain();
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
    while (size > 0) {
        const ssize_t n
            = m_inOrder ? ::write(m_fd, data, size_t(size)) : ::pwrite(m_fd, data, size_t(size), off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_errno = n < 0 ? errno : ENOSPC; // a write that takes nothing: the disk is full
            m_error = n < 0 ? QString::fromLocal8Bit(std::strerror(m_errno)) : QStringLiteral("nothing written");
            m_failed = true;
            return;
        }
        data += n;
        size -= n;
        offset += n;
    }
}
