#include "Timing.h"

namespace {
Timing g_timing;
}

const Timing& Timing::current()
{
    return g_timing;
}

void Timing::setForTests(const Timing& timing)
{
    g_timing = timing;
}
