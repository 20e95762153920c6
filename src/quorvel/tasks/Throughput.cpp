#include "quorvel/tasks/Throughput.h"

Throughput::Throughput(qint64 bufferedBytes)
    : m_buffered(bufferedBytes)
{
    restart(0);
}

void Throughput::restart(qint64 bytes)
{
    m_clock.start();
    m_base = bytes;
    m_points.clear();
}

double Throughput::sample(qint64 bytes)
{
    return sampleAt(m_clock.elapsed(), bytes);
}

double Throughput::sampleAt(qint64 elapsedMs, qint64 bytes)
{
    if (elapsedMs < UnsettledMs || bytes - m_base < 2 * m_buffered)
        return -1;
    m_points.append({elapsedMs, bytes});
    // Keep the newest point that is at least a window old as the window's start.
    int first = 0;
    while (first + 1 < m_points.size() && elapsedMs - m_points.at(first + 1).ms >= WindowMs)
        ++first;
    m_points.remove(0, first);
    const Point& start = m_points.first();
    if (start.ms == elapsedMs) {
        // The first settled sample: the average since the start is all there is.
        return elapsedMs > 0 ? double(bytes - m_base) * 1000.0 / double(elapsedMs) : -1;
    }
    return double(bytes - start.bytes) * 1000.0 / double(elapsedMs - start.ms);
}
