#pragma once

// The protocol's waits and periods, in one place. The shipped values are these; tests
// shorten them through setForTests() so that they need not wait out real time-outs.
struct Timing {
    // device information query
    int infoReplyWaitMs = 2000;
    // discovery manager
    int discoveryUpdatePeriodMs = 15000;
    int discoveryRequeryAgeMs = 12500;
    int discoveryDropAgeMs = 15000;
    // listeners retrying a port that is taken
    int listenerRebindMs = 10000;

    static const Timing& current();
    static void setForTests(const Timing& timing);
};
