#include "utils/RingStage.h"

#include "utils/BlockRing.h"

RingStage::RingStage(BlockRing& ring, Work work)
    : m_ring(ring)
    , m_work(std::move(work))
    , m_thread(&RingStage::run, this)
{
}

RingStage::~RingStage()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
    for (const Job& job : m_queue)
        m_ring.release(job.block);
}

void RingStage::submit(char* block, qint64 size, qint64 offset)
{
    if (size <= 0) {
        m_ring.release(block);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back({block, size, offset});
    }
    m_changed.notify_all();
}

void RingStage::drain()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return m_queue.empty() && !m_busy; });
}

void RingStage::run()
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
        m_work(job.block, job.size, job.offset);
        m_ring.release(job.block);
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}
