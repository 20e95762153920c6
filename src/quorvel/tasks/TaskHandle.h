#pragma once

#include <memory>

class Task;

// A way to stop a task that its pool deletes as soon as it ends: cancel() reaches the
// task until its end and does nothing afterwards. Copies share the same task.
class TaskHandle {
public:
    TaskHandle() = default;
    // Made before the task starts.
    explicit TaskHandle(Task* task);

    void cancel() const;

private:
    struct State;
    std::shared_ptr<State> m_state;
};
