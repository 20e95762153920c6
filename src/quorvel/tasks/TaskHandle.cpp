#include "quorvel/tasks/TaskHandle.h"

#include <QMutex>

#include "quorvel/tasks/Task.h"

struct TaskHandle::State {
    QMutex lock;
    Task* task = nullptr;
};

TaskHandle::TaskHandle(Task* task)
    : m_state(std::make_shared<State>())
{
    m_state->task = task;
    // On the task's own thread, before its pool can delete it.
    QObject::connect(
        task, &Task::ended, task,
        [state = m_state] {
            QMutexLocker lock(&state->lock);
            state->task = nullptr;
        },
        Qt::DirectConnection);
}

void TaskHandle::cancel() const
{
    if (!m_state)
        return;
    QMutexLocker lock(&m_state->lock);
    if (m_state->task)
        m_state->task->cancel();
}
