#pragma once

#include <QElapsedTimer>

// The waits before the status queries that confirm a transfer, counted from the moment
// the bytes are with the peer: 5, 10, 20 ... ms up to the protocol's interval, so that a
// quick peer is asked at once and a slow one no more often than the protocol says. The
// queries go on until there were as many and as much time passed as the protocol's
// fixed schedule gives (Timing::statusPolls queries, statusPollIntervalMs apart).
class StatusPolls {
public:
    static constexpr int FirstWaitMs = 5;

    StatusPolls();
    // Whether another query is due.
    bool more() const;
    // The wait before the next query (and counts it).
    int nextWaitMs();

private:
    QElapsedTimer m_since;
    int m_wait = FirstWaitMs;
    int m_polls = 0;
    int m_interval;
    int m_count;
};
