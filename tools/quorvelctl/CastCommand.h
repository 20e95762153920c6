#pragma once

#include <QStringList>

class CtlContext;

// Casting this screen to a device, steered from standard input.
class CastCommand {
public:
    static int cast(CtlContext& ctx, const QStringList& args);
};
