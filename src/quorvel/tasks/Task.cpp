#include "quorvel/tasks/Task.h"

#include <QDeadlineTimer>
#include <QThread>

#include "quorvel/protocol/UdpRequest.h"

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
    m_cancelledCondition.wakeAll();
    if (m_waker)
        m_waker();
}

std::function<void()> Task::setWaker(std::function<void()> waker)
{
    QMutexLocker lock(&m_wakerLock);
    std::swap(m_waker, waker);
    return waker;
}

Task::Wakeup Task::wakeWith(std::function<void()> waker)
{
    return Wakeup(this, setWaker(std::move(waker)));
}

Task::Wakeup Task::stopsOnCancel(UdpRequest& request)
{
    request.setStopCheck([this] { return isCancelled(); });
    return wakeWith([&request] { request.wake(); });
}

bool Task::pause(int ms)
{
    const QDeadlineTimer deadline(qMax(ms, 0));
    QMutexLocker lock(&m_wakerLock);
    while (!isCancelled() && !deadline.hasExpired())
        m_cancelledCondition.wait(&m_wakerLock, deadline);
    return !isCancelled();
}
