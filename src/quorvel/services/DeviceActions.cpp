#include "quorvel/services/DeviceActions.h"

#include <QThreadPool>

#include "quorvel/transfer/FileDelete.h"
#include "quorvel/transfer/FileOpen.h"
#include "quorvel/transfer/SalutatorySetter.h"

DeviceActions::DeviceActions(QThreadPool& pool, QObject* parent)
    : QObject(parent)
    , m_pool(pool)
{
    qRegisterMetaType<DeviceActionResult>("DeviceActionResult");
}

DeviceActions::~DeviceActions()
{
    // Cancelled, not cleared from the pool: a task that has not started ends at once
    // when its turn comes, and none is deleted while a handle still names it.
    for (const TaskHandle& handle : qAsConst(m_active))
        handle.cancel();
}

quint64 DeviceActions::open(const ServerContent& device, const QString& remotePath)
{
    return start(DeviceActionResult::Open, device, remotePath, new FileOpen(remotePath, device));
}

quint64 DeviceActions::remove(const ServerContent& device, const QString& remotePath)
{
    return start(DeviceActionResult::Delete, device, remotePath, new FileDelete(remotePath, device));
}

quint64 DeviceActions::setWelcome(const ServerContent& device, const QString& text)
{
    return start(DeviceActionResult::SetWelcome, device, text, new SalutatorySetter(text, device));
}

void DeviceActions::cancel(quint64 id)
{
    const TaskHandle handle = m_active.value(id);
    handle.cancel();
}

quint64 DeviceActions::start(
    DeviceActionResult::Action action, const ServerContent& device, const QString& argument, Task* task)
{
    DeviceActionResult asked;
    asked.id = ++m_serial;
    asked.action = action;
    asked.device = device;
    asked.argument = argument;
    m_active.insert(asked.id, TaskHandle(task));
    connect(task, &Task::ended, this, [this, asked](const TaskOutcome& outcome) {
        m_active.remove(asked.id);
        DeviceActionResult result = asked;
        result.outcome = outcome;
        emit finished(result);
    });
    m_pool.start(task);
    return asked.id;
}
