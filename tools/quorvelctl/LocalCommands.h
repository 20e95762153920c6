#pragma once

#include <QStringList>

class CtlContext;

// What lives on this PC: the transfer history, the hand-added devices, the settings.
class LocalCommands {
public:
    static int history(CtlContext& ctx, const QStringList& args);
    static int devices(CtlContext& ctx, const QStringList& args);
    static int config(CtlContext& ctx, const QStringList& args);
};
