#pragma once

#include <QStringList>

#include "CtlContext.h"

class CtlOutput;

// The commands of quorvelctl: a table of names, each a small unit on the core's
// services, sharing one context, and the grammar around them (global options before or
// after the command, help in three spellings).
class CtlCommands {
public:
    enum Exit { Success = 0, Failure = 1, Usage = 2, Interrupted = 130 };

    // The options every command takes, wherever they stand on the line.
    struct Globals {
        bool json = false;
        bool verbose = false;
        // --timeout: each wait for a connection, an answer or the next bytes.
        int timeoutSeconds = 0;
        // --max-time: the whole command.
        int maxTimeSeconds = 0;
        // --config: the settings file instead of the window's.
        QString configFile;
    };
    // Takes the global options out of arguments (up to a "--"); false with the reason
    // when one has a bad value.
    static bool takeGlobals(QStringList* arguments, Globals* globals, QString* error);

    CtlCommands(AppContext& app, CtlOutput& out, const Globals& globals);
    int run(const QStringList& arguments);
    static QString usage();
    // "quorvelctl 1.5.5".
    static QString version();

    // Ctrl-C: the running command stops its work cleanly and returns Interrupted.
    void interrupt();

private:
    int runCommand(const QString& name, const QStringList& arguments);

    CtlContext m_context;
};
