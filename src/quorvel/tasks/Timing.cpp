#include "quorvel/tasks/Timing.h"

#include <initializer_list>

namespace {
Timing g_timing;
}

const Timing& Timing::current()
{
    return g_timing;
}

void Timing::limitWaits(int ms)
{
    for (int* wait : {&g_timing.infoReplyWaitMs, &g_timing.listingWaitMs, &g_timing.commandWaitMs,
             &g_timing.uploadReplyWaitMs, &g_timing.uploadTcpWaitMs, &g_timing.downloadReplyWaitMs,
             &g_timing.downloadTcpWaitMs, &g_timing.servingAcceptWaitMs, &g_timing.servingTcpWaitMs})
        *wait = ms;
}

void Timing::setForTests(const Timing& timing)
{
    g_timing = timing;
}
