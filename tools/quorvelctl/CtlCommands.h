#pragma once

#include <QStringList>

#include "CtlContext.h"
#include "TerminalInteraction.h"

class CtlOutput;

// The commands of quorvelctl: a table of names, each a small unit on the core's
// services, sharing one context.
class CtlCommands {
public:
    enum Exit { Success = 0, Failure = 1, Usage = 2, Interrupted = 130 };

    CtlCommands(CtlOutput& out, int timeoutSeconds);
    ~CtlCommands();
    int run(const QStringList& arguments);
    static QString usage();

    // Ctrl-C: the running command stops its work cleanly and returns Interrupted.
    void interrupt();

private:
    CtlContext m_context;
    TerminalInteraction m_terminal;
};
