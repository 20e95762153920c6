#include "StatusPolls.h"

#include <QtGlobal>

#include "Timing.h"

StatusPolls::StatusPolls()
    : m_interval(Timing::current().statusPollIntervalMs)
    , m_count(Timing::current().statusPolls)
{
    m_since.start();
}

bool StatusPolls::more() const
{
    return m_polls < m_count || m_since.elapsed() < qint64(m_count) * m_interval;
}

int StatusPolls::nextWaitMs()
{
    const int wait = qMin(m_wait, m_interval);
    m_wait = qMin(m_wait * 2, m_interval);
    ++m_polls;
    return wait;
}
