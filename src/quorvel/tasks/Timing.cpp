#include "quorvel/tasks/Timing.h"

#include <initializer_list>
#include <mutex>

namespace {
std::mutex g_lock;
Timing g_timing;
} // namespace

Timing Timing::current()
{
    std::lock_guard<std::mutex> lock(g_lock);
    return g_timing;
}

void Timing::limitWaits(int ms)
{
    std::lock_guard<std::mutex> lock(g_lock);
    for (int* wait : {&g_timing.infoReplyWaitMs, &g_timing.listingWaitMs, &g_timing.commandWaitMs,
             &g_timing.uploadReplyWaitMs, &g_timing.uploadTcpWaitMs, &g_timing.downloadReplyWaitMs,
             &g_timing.downloadTcpWaitMs, &g_timing.servingAcceptWaitMs, &g_timing.servingTcpWaitMs})
        *wait = ms;
}

void Timing::setForTests(const Timing& timing)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_timing = timing;
}
