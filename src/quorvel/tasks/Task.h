#pragma once

#include <QAtomicInt>
#include <QMutex>
#include <QObject>
#include <QRunnable>
#include <functional>

#include "quorvel/tasks/TaskOutcome.h"

// A one-shot task for a thread pool. It belongs to no thread until a pool runs it and
// then to the pool thread that runs and deletes it, so it is never deleted by a thread
// other than its own. Its end is reported exactly once, at the end of run(): first the
// subclass's own final signals (finish()), then ended().
class Task : public QObject, public QRunnable {
    Q_OBJECT
public:
    Task();
    void run() final;

    const TaskOutcome& outcome() const { return m_outcome; }

    // Asks the task to stop at its next step; safe from any thread. A transfer keeps
    // what it moved so that a later one can resume.
    void cancel();
    bool isCancelled() const { return m_cancelled.loadRelaxed() != 0; }

signals:
    void ended(TaskOutcome outcome);

protected:
    // The work. It ends with succeed() or fail(); a task that calls neither failed.
    virtual void execute() = 0;
    // The final reports that the task's own signals make, after execute().
    virtual void finish() { }

    void succeed() { m_outcome = TaskOutcome::success(); }
    // Records that the task stopped because it was asked to (by its caller, or by the
    // person it asked); returns false.
    bool stopped(const QString& reason = QString());
    // Records why the task failed (a later reason replaces an earlier one: retries that
    // failed before are not the reason) and returns false, for "return fail(...)".
    bool fail(const QString& reason, const QString& deviceReason = QString());
    // While set, cancel() also calls it, on the cancelling thread: it wakes a blocking
    // wait that checking between steps would not cut short. nullptr clears it.
    void setWaker(std::function<void()> waker);

private:
    TaskOutcome m_outcome;
    QAtomicInt m_cancelled;
    QMutex m_wakerLock;
    std::function<void()> m_waker;
};
