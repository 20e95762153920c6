#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "CtlCommands.h"
#include "CtlOutput.h"
#include "TerminalInteraction.h"
#include "app/AppContext.h"
#include "log/CustomMsgHandler.h"
#include "platform/AppFolders.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "utils/AppLanguage.h"

namespace {
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    (void)!::write(g_signalPipe[1], &c, 1);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvelctl"));
    AppLanguage::install(&app);

    // A reader that went away makes writes fail with EPIPE, which the output reports,
    // instead of ending the process unheard.
    std::signal(SIGPIPE, SIG_IGN);
    QStringList args = QCoreApplication::arguments().mid(1);
    CtlCommands::Globals globals;
    QString error;
    if (!CtlCommands::takeGlobals(&args, &globals, &error)) {
        CtlOutput(globals.json).error(error);
        fprintf(stderr, "Try 'quorvelctl --help' for more information.\n");
        return CtlCommands::Usage;
    }
    const bool verbose = globals.verbose;
    if (globals.timeoutSeconds > 0)
        Timing::limitWaits(globals.timeoutSeconds * 1000);

    // The same files as the window (its folder, or the user's folders once installed):
    // settings, history and the log folder, where this program keeps logs of its own name.
    // Paths the user gives stay relative to the current directory.
    AppFolders folders = AppFolders::forProgram(QCoreApplication::applicationDirPath());
    if (!globals.configFile.isEmpty())
        folders = folders.withConfigFile(globals.configFile);
    QString folderError;
    if (!folders.make(&folderError))
        fprintf(stderr, "quorvelctl: %s\n", folderError.toUtf8().constData());
    CtlOutput out(globals.json);
    // Questions (offers, a download onto an existing file) are asked on the terminal.
    TerminalInteraction terminal(out);
    auto context = std::make_unique<AppContext>(folders, nullptr, &terminal);
    CustomMsgHandler log(folders.logFolder(), QStringLiteral("quorvelctl"));
    auto commands = std::make_unique<CtlCommands>(*context, out, globals);
    QObject::connect(
        &log, &CustomMsgHandler::message, &app,
        [verbose](const QString& line) {
            if (verbose)
                fprintf(stderr, "%s\n", line.toUtf8().constData());
        },
        Qt::DirectConnection);
    log.install();
    // A history record that could not be written: the transfer stands, the user hears it.
    if (QuorvelClientDatabase* db = context->database())
        QObject::connect(
            db, &QuorvelClientDatabase::warning, &app, [&out](const QString& message) { out.warning(message); },
            Qt::QueuedConnection);

    // Ctrl-C or SIGTERM: the running command stops its work cleanly (what was written
    // stays for a later resumption) and returns, and the context stops the services in
    // order. A second signal ends the process the default way.
    bool interrupted = false;
    if (::pipe(g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&out, &interrupted, &commands, notifier] {
            notifier->setEnabled(false);
            std::signal(SIGINT, SIG_DFL);
            std::signal(SIGTERM, SIG_DFL);
            interrupted = true;
            out.finishProgress();
            fprintf(stderr, "quorvelctl: interrupted\n");
            fflush(stderr);
            commands->interrupt();
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    int status = commands->run(args);
    if (interrupted)
        status = 130;
    commands.reset();
    context.reset(); // while the log still takes what the services say as they stop
    out.finishProgress();
    // What did not reach standard output is a failure, whatever the command said.
    if (!out.close() && !interrupted)
        status = CtlCommands::Failure;
    return status;
}
