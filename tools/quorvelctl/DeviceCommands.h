#pragma once

#include <QStringList>

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
};
