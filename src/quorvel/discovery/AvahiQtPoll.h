#pragma once

struct AvahiPoll;

// Drives avahi-client from the Qt event loop of the calling thread: watches are
// socket notifiers, timeouts are single-shot timers. No extra thread.
class AvahiQtPoll {
public:
    // One poll per thread; it lives as long as the thread.
    static const AvahiPoll* forCurrentThread();
};
