#include "quorvel/tasks/Task.h"

#include <QThread>

Task::Task()
{
    // Detached here, pulled by the thread that runs it (a thread may only pull an
    // object that belongs to none).
    moveToThread(nullptr);
    m_outcome = TaskOutcome::failure(tr("任务没有运行到结束"));
}

void Task::run()
{
    moveToThread(QThread::currentThread());
    // Stopped while it waited in its pool's queue: it never starts.
    if (isCancelled())
        stopped();
    else
        execute();
    finish();
    emit ended(m_outcome);
}

bool Task::fail(const QString& reason, const QString& deviceReason)
{
    m_outcome = TaskOutcome::failure(reason, deviceReason);
    return false;
}

bool Task::stopped(const QString& reason)
{
    m_outcome = TaskOutcome::stoppedBecause(reason.isEmpty() ? tr("已停止") : reason);
    return false;
}

void Task::cancel()
{
    m_cancelled.storeRelaxed(1);
    QMutexLocker lock(&m_wakerLock);
    if (m_waker)
        m_waker();
}

void Task::setWaker(std::function<void()> waker)
{
    QMutexLocker lock(&m_wakerLock);
    m_waker = std::move(waker);
}
