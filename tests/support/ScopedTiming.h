#pragma once

#include <functional>

#include "quorvel/tasks/Timing.h"

// Changes the timing in effect while it lives, and puts back what was in effect before,
// also when the test fails half-way (a later row or test then runs with its own timing).
class ScopedTiming {
public:
    explicit ScopedTiming(const std::function<void(Timing&)>& change)
        : m_before(Timing::current())
    {
        Timing t = m_before;
        change(t);
        Timing::setForTests(t);
    }
    ~ScopedTiming() { Timing::setForTests(m_before); }
    ScopedTiming(const ScopedTiming&) = delete;
    ScopedTiming& operator=(const ScopedTiming&) = delete;

private:
    const Timing m_before;
};
