#pragma once

#include <QDeadlineTimer>
#include <QList>
#include <QMutex>
#include <QWaitCondition>

#include "quorvel/discovery/DiscoveryServer.h"

// Collects what information queries report, from whichever pool thread reports it.
class RecordingReceiver : public QueryResultReceiver {
public:
    struct Report {
        ServerContent content;
        bool found;
        bool isBroadcast;
    };

    void onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast) override
    {
        QMutexLocker lock(&m_lock);
        m_reports.append({content, found, isBroadcast});
        m_changed.wakeAll();
    }

    // Waits, with a bound, until count reports arrived; returns them.
    QList<Report> waitFor(int count, int timeoutMs = 10000)
    {
        QMutexLocker lock(&m_lock);
        QDeadlineTimer deadline(timeoutMs);
        while (m_reports.size() < count && !deadline.hasExpired())
            m_changed.wait(&m_lock, deadline);
        return m_reports;
    }

private:
    QMutex m_lock;
    QWaitCondition m_changed;
    QList<Report> m_reports;
};
