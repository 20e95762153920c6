#pragma once

#include <QElapsedTimer>
#include <QtGlobal>
#include <chrono>
#include <future>
#include <thread>

// Ends the test process with a named failure when the step it guards has not finished
// in time: a hang then shows as what hung, not as the suite's time-out. The step is
// done when the watchdog goes out of scope.
class Watchdog {
public:
    Watchdog(int ms, const char* what)
        : m_thread([done = m_done.get_future(), ms, what] {
            if (done.wait_for(std::chrono::milliseconds(ms)) == std::future_status::timeout)
                qFatal("Hung for more than %d ms: %s", ms, what);
        })
    {
    }
    ~Watchdog()
    {
        m_done.set_value();
        m_thread.join();
    }

private:
    std::promise<void> m_done;
    std::thread m_thread; // after m_done, which it waits on
};

// How long the step took, in ms.
template <typename Step> qint64 millisecondsOf(Step step)
{
    QElapsedTimer timer;
    timer.start();
    step();
    return timer.elapsed();
}
