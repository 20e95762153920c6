#include "BackgroundMd5.h"

#include "BlockRing.h"

BackgroundMd5::BackgroundMd5(BlockRing& ring)
    : m_ring(ring)
{
    m_thread = std::thread(&BackgroundMd5::work, this);
}

BackgroundMd5::~BackgroundMd5()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
    for (const Job& job : m_queue) // a failed transfer drops its digest
        m_ring.release(job.block);
}

void BackgroundMd5::submit(char* block, qint64 size)
{
    if (size <= 0) {
        m_ring.release(block);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back({block, size});
    }
    m_changed.notify_all();
}

QString BackgroundMd5::hexResult()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
    m_hashed = 0;
    return m_md5.hexResult();
}

qint64 BackgroundMd5::hashedBytes() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_hashed;
}

void BackgroundMd5::work()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_stopping)
            return;
        const Job job = m_queue.front();
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        m_md5.addData(job.block, job.size);
        m_ring.release(job.block);
        lock.lock();
        m_busy = false;
        m_hashed += job.size;
        m_changed.notify_all();
    }
}
