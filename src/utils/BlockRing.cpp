#include "utils/BlockRing.h"

#include <algorithm>
#include <cstdlib>
#include <new>

BlockRing::BlockRing(qint64 blockSize, int blocks)
    : m_blockSize((blockSize + Alignment - 1) / Alignment * Alignment)
    , m_memory(static_cast<char*>(std::aligned_alloc(size_t(Alignment), size_t(m_blockSize * blocks))))
    , m_holders(size_t(blocks), 0)
{
    if (!m_memory)
        throw std::bad_alloc();
}

BlockRing::~BlockRing()
{
    std::free(m_memory);
}

char* BlockRing::acquire(int holders)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    auto free = m_holders.end();
    m_freed.wait(lock, [&] {
        free = std::find(m_holders.begin(), m_holders.end(), 0);
        return free != m_holders.end();
    });
    *free = holders;
    return m_memory + (free - m_holders.begin()) * m_blockSize;
}

void BlockRing::release(char* block, int holders)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int& left = m_holders[size_t((block - m_memory) / m_blockSize)];
        Q_ASSERT(left >= holders);
        left -= holders;
        if (left > 0)
            return;
    }
    m_freed.notify_all();
}
