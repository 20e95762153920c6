#pragma once

#include <QHash>
#include <QObject>

#include "quorvel/services/DeviceActionResult.h"
#include "quorvel/tasks/TaskHandle.h"

class QThreadPool;
class Task;

// The single-request commands a person gives a device, for every front end: each runs
// as a task on the application's pool and ends in one finished() with what was asked,
// of which device, and how it went.
class DeviceActions : public QObject {
    Q_OBJECT
public:
    // pool outlives this object.
    explicit DeviceActions(QThreadPool& pool, QObject* parent = nullptr);
    // Stops what still runs or waits; each task then ends within a step of its wait, so
    // that draining the pool does not wait for a device that never answers.
    ~DeviceActions() override;

    // Each returns the number finished() reports the request under.
    quint64 open(const ServerContent& device, const QString& remotePath);
    quint64 remove(const ServerContent& device, const QString& remotePath);
    quint64 setWelcome(const ServerContent& device, const QString& text);
    // Asks the request to stop; it still ends in finished(), as stopped. Nothing for a
    // request that has ended.
    void cancel(quint64 id);

signals:
    // On this object's thread, once per request.
    void finished(DeviceActionResult result);

private:
    quint64 start(DeviceActionResult::Action action, const ServerContent& device, const QString& argument, Task* task);

    QThreadPool& m_pool;
    quint64 m_serial = 0;
    QHash<quint64, TaskHandle> m_active;
};
