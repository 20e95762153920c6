#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "Config.h"
#include "CtlCommands.h"
#include "CtlOutput.h"
#include "log/CustomMsgHandler.h"

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
    // The same application folder as the window: its settings, history and log.
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    QStringList args = QCoreApplication::arguments().mid(1);
    bool json = false;
    bool verbose = false;
    int timeout = 0;
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--json")) {
            json = true;
        } else if (option == QLatin1String("--verbose")) {
            verbose = true;
        } else if (option == QLatin1String("--timeout") && !args.isEmpty()) {
            bool ok = false;
            timeout = args.takeFirst().toInt(&ok);
            if (!ok || timeout <= 0) {
                fprintf(stderr, "quorvelctl: --timeout takes a number of seconds\n");
                return CtlCommands::Usage;
            }
        } else if (option == QLatin1String("--version")) {
            printf("%s\n", QUORVEL_VERSION);
            return 0;
        } else if (option == QLatin1String("--help")) {
            printf("%s\n", CtlCommands::usage().toUtf8().constData());
            return 0;
        } else {
            fprintf(stderr, "quorvelctl: unknown option %s\n%s\n", qPrintable(option),
                CtlCommands::usage().toUtf8().constData());
            return CtlCommands::Usage;
        }
    }

    CtlOutput out(json);
    CtlCommands commands(out, timeout);
    CustomMsgHandler log;
    QObject::connect(
        &log, &CustomMsgHandler::message, &app,
        [&commands, verbose](const QString& line) {
            commands.noteLogLine(line);
            if (verbose)
                fprintf(stderr, "%s\n", line.toUtf8().constData());
        },
        Qt::DirectConnection);
    log.install();

    // Ctrl-C: end the line the progress bar is on and leave at once; the device keeps
    // what arrived and a later upload starts afresh.
    if (::pipe(g_signalPipe) == 0) {
        auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
        QObject::connect(notifier, &QSocketNotifier::activated, [&out] {
            out.finishProgress();
            fprintf(stderr, "quorvelctl: interrupted\n");
            fflush(stderr);
            std::_Exit(130);
        });
        std::signal(SIGINT, onSignal);
        std::signal(SIGTERM, onSignal);
    }

    const int status = commands.run(args);
    QCoreApplication::sendPostedEvents(); // the log lines still queued for the file
    log.uninstall();
    out.finishProgress();
    fflush(stdout);
    // Background services (discovery threads) need no orderly shutdown here.
    std::_Exit(status);
}
