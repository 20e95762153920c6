#pragma once

#include <QtGlobal>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Ends the test process with a named failure when the step it guards has not finished
// in time: a hang then shows as what hung, not as the suite's time-out. The step is
// done when the watchdog goes out of scope.
class Watchdog {
public:
    Watchdog(int ms, const char* what)
        : m_thread([this, ms, what] {
            std::unique_lock<std::mutex> lock(m_lock);
            if (!m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_done; }))
                qFatal("Hung for more than %d ms: %s", ms, what);
        })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_done = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_done = false;
    std::thread m_thread; // last: it reads the members above
};
