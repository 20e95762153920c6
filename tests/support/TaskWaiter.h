#pragma once

#include <QEventLoop>
#include <QThreadPool>
#include <QTimer>
#include <memory>

#include "quorvel/tasks/Task.h"

// Follows a task to its end, with a bound. The end arrives queued on the thread that
// made the waiter, after every signal the task queued to that thread before it: a test
// reads the task's own reports first, then its outcome.
class TaskWaiter {
public:
    // Made before the task starts.
    explicit TaskWaiter(Task* task)
        : m_receiver(std::make_unique<QObject>())
    {
        QObject::connect(
            task, &Task::ended, m_receiver.get(),
            [this](const TaskOutcome& outcome) {
                m_outcome = outcome;
                m_ended = true;
                if (m_loop)
                    m_loop->quit();
            },
            Qt::QueuedConnection);
    }
    TaskWaiter(const TaskWaiter&) = delete;
    TaskWaiter& operator=(const TaskWaiter&) = delete;

    // True once the task ended; false when it has not within the time.
    bool wait(int timeoutMs = 10000)
    {
        if (!m_ended) {
            QEventLoop loop;
            m_loop = &loop;
            QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
            loop.exec();
            m_loop = nullptr;
        }
        return m_ended;
    }
    // A task that has not ended (yet) reads as failed, with a reason that says so.
    TaskOutcome outcome() const
    {
        return m_ended ? m_outcome
                       : TaskOutcome::failure(QStringLiteral("the task had not ended when the test looked"));
    }

private:
    // Dropped with the waiter, and with it the connection: a late end goes nowhere.
    std::unique_ptr<QObject> m_receiver;
    QEventLoop* m_loop = nullptr;
    TaskOutcome m_outcome;
    bool m_ended = false;
};

// Runs the task on the pool and waits for its outcome (see TaskWaiter). Connect to the
// task's own signals before.
inline TaskOutcome runTask(Task* task, int timeoutMs = 10000, QThreadPool* pool = QThreadPool::globalInstance())
{
    TaskWaiter waiter(task);
    pool->start(task);
    waiter.wait(timeoutMs);
    return waiter.outcome();
}
