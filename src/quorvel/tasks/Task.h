#pragma once

#include <QAtomicInt>
#include <QMutex>
#include <QObject>
#include <QRunnable>
#include <QWaitCondition>
#include <functional>

#include "quorvel/tasks/TaskOutcome.h"

class UdpRequest;

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

    // Puts back the waker it replaced when it goes (guards nest like the waits they
    // guard).
    class Wakeup {
    public:
        Wakeup(Task* task, std::function<void()> previous)
            : m_task(task)
            , m_previous(std::move(previous))
        {
        }
        Wakeup(const Wakeup&) = delete;
        Wakeup& operator=(const Wakeup&) = delete;
        ~Wakeup() { m_task->setWaker(std::move(m_previous)); }

    private:
        Task* m_task;
        std::function<void()> m_previous;
    };
    // Until the returned guard goes, cancel() also calls waker, on the cancelling
    // thread: it wakes a blocking wait that checking between steps would not cut short.
    [[nodiscard]] Wakeup wakeWith(std::function<void()> waker);
    // The request's waits end as soon as the task is cancelled, while the guard lives.
    [[nodiscard]] Wakeup stopsOnCancel(UdpRequest& request);
    // Waits ms, or until cancelled; false when cancelled.
    bool pause(int ms);

private:
    // Returns the waker it replaces.
    std::function<void()> setWaker(std::function<void()> waker);

    TaskOutcome m_outcome;
    QAtomicInt m_cancelled;
    QMutex m_wakerLock;
    QWaitCondition m_cancelledCondition;
    std::function<void()> m_waker;
};
