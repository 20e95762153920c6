#include "quorvel/tasks/ConfirmSchedule.h"

ConfirmSchedule::ConfirmSchedule(const Timing& timing)
    : m_timing(timing)
{
    restart();
}

void ConfirmSchedule::restart()
{
    m_since.start();
    m_queries = 0;
}

int ConfirmSchedule::waitBefore(int query, const Timing& timing)
{
    if (query <= 0)
        return 0;
    qint64 wait = qMax(1, timing.statusBackoffFirstMs);
    for (int i = 1; i < query && wait < timing.statusPollIntervalMs; ++i)
        wait *= 2;
    return int(qMin<qint64>(wait, timing.statusPollIntervalMs));
}

int ConfirmSchedule::nextWaitMs()
{
    if (m_queries >= m_timing.statusPolls && m_since.elapsed() >= budgetMs())
        return -1;
    return waitBefore(m_queries++, m_timing);
}
