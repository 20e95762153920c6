#include "quorvel/tasks/TransferCounter.h"

#include <QAtomicInt>

namespace {
QAtomicInt g_next(0);
}

int TransferCounter::next()
{
    return g_next.fetchAndAddOrdered(1);
}
