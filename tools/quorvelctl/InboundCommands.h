#pragma once

#include <QStringList>

class CtlContext;

// Being a party others fetch from and push to: serving offered files, offering ours.
class InboundCommands {
public:
    static int serve(CtlContext& ctx, const QStringList& args);
    static int offer(CtlContext& ctx, const QStringList& args);

private:
    // Starts answering discovery and requests; reports a port that is taken (the
    // listeners keep trying) and returns once both ports are bound, false when not
    // within waitMs.
    static bool listen(CtlContext& ctx, int waitMs);
};
