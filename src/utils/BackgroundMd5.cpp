#include "BackgroundMd5.h"

BackgroundMd5::BackgroundMd5(qint64 blockSize, int blocks)
    : m_blockSize(blockSize)
{
    m_buffers.reserve(size_t(blocks));
    for (int i = 0; i < blocks; ++i) {
        m_buffers.emplace_back(int(blockSize), Qt::Uninitialized);
        m_free.push_back(m_buffers.back().data());
    }
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
}

char* BackgroundMd5::acquire()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_free.empty(); });
    char* block = m_free.back();
    m_free.pop_back();
    return block;
}

void BackgroundMd5::submit(char* block, qint64 size)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (size <= 0)
            m_free.push_back(block);
        else
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
        if (m_queue.empty())
            return; // stopping with nothing left: a failed transfer drops its digest
        const Job job = m_queue.front();
        m_queue.pop_front();
        m_busy = true;
        lock.unlock();
        m_md5.addData(job.block, job.size);
        lock.lock();
        m_busy = false;
        m_hashed += job.size;
        m_free.push_back(job.block);
        m_changed.notify_all();
    }
}
