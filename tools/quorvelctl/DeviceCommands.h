#pragma once

#include <QList>
#include <QStringList>

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/TaskOutcome.h"

class CtlContext;

// The commands that ask a device about its files or change them, and discovery.
class DeviceCommands {
public:
    static int discover(CtlContext& ctx, const QStringList& args);
    static int ls(CtlContext& ctx, const QStringList& args);
    static int open(CtlContext& ctx, const QStringList& args);
    static int rm(CtlContext& ctx, const QStringList& args);
    static int welcome(CtlContext& ctx, const QStringList& args);
    static int thumb(CtlContext& ctx, const QStringList& args);

    // The listing of a folder, or the failure's reason.
    static TaskOutcome list(CtlContext& ctx, const ServerContent& device, const QString& path, const QString& sort,
        QList<FileContent>* entries);
    // A remote file's modification time from its folder's listing; 0 when not listed.
    // *missing: whether the folder was listed and holds no such file.
    static qint64 modifiedOf(
        CtlContext& ctx, const ServerContent& device, const QString& remote, bool* missing = nullptr);
};
