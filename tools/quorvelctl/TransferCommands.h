#pragma once

#include <QStringList>

class CtlContext;

// Moving files to and from a device through the core's transfer queue.
class TransferCommands {
public:
    static int upload(CtlContext& ctx, const QStringList& args);
    static int download(CtlContext& ctx, const QStringList& args);

    // Follows the queue's transfers with the given numbers to their ends, reporting each
    // as it ends; the number that failed. On interruption the rest are stopped. With
    // namesDevice (sending to several), each failure says to which device; *failedIds
    // gets the numbers that failed.
    static int follow(CtlContext& ctx, const QList<int>& ids, const char* command, bool toStdout = false,
        bool namesDevice = false, QList<int>* failedIds = nullptr);
};
