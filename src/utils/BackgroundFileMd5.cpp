#include "utils/BackgroundFileMd5.h"

#include <unistd.h>

#include "utils/FileUtil.h"

namespace {
constexpr qint64 ReadSize = 262144; // stays in the cache between the read and the hash
} // namespace

BackgroundFileMd5::BackgroundFileMd5(int descriptor, qint64 size)
    : m_fd(descriptor)
    , m_size(size)
    , m_buffer(int(ReadSize), Qt::Uninitialized)
{
    m_thread = std::thread([this] { hash(&m_stop); });
}

BackgroundFileMd5::~BackgroundFileMd5()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

QString BackgroundFileMd5::hexResult()
{
    if (m_finished)
        return m_hex;
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_error.isEmpty())
        hash(nullptr);
    m_finished = true;
    if (m_error.isEmpty())
        m_hex = m_md5.hexResult();
    return m_hex;
}

void BackgroundFileMd5::hash(const std::atomic<bool>* yield)
{
    qint64 offset = m_hashed;
    while (offset < m_size) {
        if (yield && *yield)
            return;
        const qint64 n = FileUtil::readAt(m_fd, m_buffer.data(), qMin(ReadSize, m_size - offset), offset, &m_error);
        if (n < 0)
            return; // m_error says why
        m_md5.addData(m_buffer.constData(), n);
        offset += n;
        m_hashed = offset;
    }
}
