#pragma once

#include <QElapsedTimer>

#include "quorvel/tasks/Timing.h"

// When to ask a peer whether it holds the whole file, counted from the moment it had
// every byte (the send queue drained, or the last read of a download). Waiting the
// protocol's 500 ms before each query costs every small file half a second, and
// counting from the last write gives up on slow links while the bytes are still on
// the way. So: the first query at once, then waits of 5, 10, 20 ... ms up to the
// protocol's interval; asking ends no sooner than the protocol's whole budget (its
// number of polls, and that many intervals of time) after the bytes arrived.
class ConfirmSchedule {
public:
    explicit ConfirmSchedule(const Timing& timing = Timing::current());

    // The bytes have arrived (again, after a resumption): the schedule starts afresh.
    void restart();
    // Milliseconds to wait before the next query, or -1 once the budget is spent. Each
    // call counts one query.
    int nextWaitMs();

    int queries() const { return m_queries; }
    qint64 elapsedMs() const { return m_since.elapsed(); }
    // The time the peer is given at the least.
    qint64 budgetMs() const { return qint64(m_timing.statusPolls) * m_timing.statusPollIntervalMs; }

    // The wait before query number `query` (0, 1, ...).
    static int waitBefore(int query, const Timing& timing);

private:
    Timing m_timing;
    QElapsedTimer m_since;
    int m_queries = 0;
};
