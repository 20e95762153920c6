#include "CtlCommands.h"

#include <QMap>
#include <cstdio>

#include "CastCommand.h"
#include "CtlContext.h"
#include "CtlOutput.h"
#include "DeviceCommands.h"
#include "DoctorCommand.h"
#include "InboundCommands.h"
#include "LocalCommands.h"
#include "QuorvelClientDatabase.h"
#include "TransferCommands.h"

namespace {
using Command = int (*)(CtlContext&, const QStringList&);

const QMap<QString, Command>& table()
{
    static const QMap<QString, Command> commands{
        {"discover", &DeviceCommands::discover},
        {"ls", &DeviceCommands::ls},
        {"open", &DeviceCommands::open},
        {"rm", &DeviceCommands::rm},
        {"thumb", &DeviceCommands::thumb},
        {"welcome", &DeviceCommands::welcome},
        {"upload", &TransferCommands::upload},
        {"download", &TransferCommands::download},
        {"history", &LocalCommands::history},
        {"devices", &LocalCommands::devices},
        {"config", &LocalCommands::config},
        {"serve", &InboundCommands::serve},
        {"offer", &InboundCommands::offer},
        {"cast", &CastCommand::cast},
        {"doctor", &DoctorCommand::doctor},
    };
    return commands;
}
} // namespace

CtlCommands::CtlCommands(CtlOutput& out, int timeoutSeconds)
    : m_context(out, timeoutSeconds)
    , m_terminal(out)
{
    UserInteraction::install(&m_terminal);
}

CtlCommands::~CtlCommands()
{
    UserInteraction::install(nullptr);
}

void CtlCommands::interrupt()
{
    m_context.interrupt();
}

bool CtlCommands::takeGlobals(QStringList* arguments, Globals* globals, QString* error)
{
    QStringList rest;
    for (int i = 0; i < arguments->size(); ++i) {
        const QString a = arguments->at(i);
        if (a == QLatin1String("--")) {
            rest += arguments->mid(i);
            break;
        }
        if (a == QLatin1String("--json")) {
            globals->json = true;
        } else if (a == QLatin1String("--verbose")) {
            globals->verbose = true;
        } else if (a == QLatin1String("--timeout") || a.startsWith(QLatin1String("--timeout="))) {
            QString value;
            if (a.contains(QLatin1Char('=')))
                value = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            else if (i + 1 < arguments->size())
                value = arguments->at(++i);
            bool ok = false;
            globals->timeoutSeconds = value.toInt(&ok);
            if (!ok || globals->timeoutSeconds < 1) {
                *error
                    = QStringLiteral("--timeout takes a whole number of seconds of at least 1, not \"%1\"").arg(value);
                return false;
            }
        } else {
            rest.append(a);
        }
    }
    *arguments = rest;
    return true;
}

QString CtlCommands::usage()
{
    return QStringLiteral(
        "Usage: quorvelctl [--json] [--timeout SECONDS] [--verbose] COMMAND ARGS...\n"
        "\n"
        "DEVICE is ADDRESS, ADDRESS:PORT or a device name (any case; found by one discovery pass).\n"
        "The global options may also follow the command.\n"
        "\n"
        "Commands:\n"
        "  discover [--wait SECONDS]            find devices and other clients\n"
        "  ls DEVICE [PATH] [--sort ORDER]      list a folder of a device\n"
        "  upload DEVICE FILE... [--secure]     upload files, one after another\n"
        "  download DEVICE REMOTE_PATH [-o LOCAL_PATH|-]\n"
        "                                       download a file (resumes from LOCAL_PATH.part)\n"
        "  open DEVICE REMOTE_PATH              show a file on the device's screen\n"
        "  rm DEVICE REMOTE_PATH                delete a file on the device\n"
        "  thumb DEVICE REMOTE_PATH -o FILE     save a file's thumbnail\n"
        "  welcome DEVICE TEXT                  set the welcome text\n"
        "  history DEVICE                       transfers with the device, newest first\n"
        "  devices add ADDRESS[:PORT] | devices rm ADDRESS[:PORT] | devices ls\n"
        "  config get KEY | config set KEY VALUE | config ls\n"
        "  serve [--accept | --ask]             receive files other parties offer, until interrupted\n"
        "  offer CLIENT FILE... [--wait SECONDS]\n"
        "                                       offer files to another client and serve them\n"
        "  doctor [--wait SECONDS]              why a device does not show up: checks and what to do\n"
        "  cast DEVICE [--size WxH]             cast this screen to the device (p pause, r resume,\n"
        "                                       a aspect ratio, s stop, on standard input)\n"
        "  help [COMMAND]                       this text, or a command's\n"
        "\n"
        "quorvelctl COMMAND --help explains a command; --help-all explains them all.\n"
        "Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted.");
}

int CtlCommands::runCommand(const QString& name, const QStringList& arguments)
{
    m_context.setCommand(name);
    m_context.out().setCommand(name);
    // Once, for the first command that runs: the history's file was found damaged.
    static bool toldOpenWarning = false;
    QuorvelClientDatabase* db = QuorvelClientDatabase::instance();
    if (db && !toldOpenWarning && !db->openWarning().isEmpty()) {
        toldOpenWarning = true;
        m_context.out().warning(db->openWarning());
    }
    // The command's own parser sees "quorvelctl COMMAND ...".
    return table().value(name)(m_context, QStringList{QStringLiteral("quorvelctl ") + name} + arguments);
}

int CtlCommands::run(const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        fprintf(stderr, "%s\n", usage().toUtf8().constData());
        return Usage;
    }
    const QString first = arguments.first();
    if (first == QLatin1String("-h") || first == QLatin1String("--help")
        || (first == QLatin1String("help") && arguments.size() == 1)) {
        printf("%s\n", usage().toUtf8().constData());
        return Success;
    }
    if (first == QLatin1String("--version")) {
        printf("%s\n", QUORVEL_VERSION);
        return Success;
    }
    if (first == QLatin1String("--help-all")) {
        printf("%s\n", usage().toUtf8().constData());
        for (auto it = table().constBegin(); it != table().constEnd(); ++it) {
            printf("\n== quorvelctl %s ==\n", qPrintable(it.key()));
            fflush(stdout);
            runCommand(it.key(), {QStringLiteral("--help")});
        }
        return Success;
    }
    if (first == QLatin1String("help")) {
        if (!table().contains(arguments.at(1)))
            return m_context.usage(QStringLiteral("unknown command \"%1\"").arg(arguments.at(1)));
        return runCommand(arguments.at(1), {QStringLiteral("--help")});
    }
    if (first.startsWith(QLatin1Char('-')))
        return m_context.usage(QStringLiteral("unknown option \"%1\"").arg(first));
    if (!table().contains(first))
        return m_context.usage(QStringLiteral("unknown command \"%1\"").arg(first));
    return runCommand(first, arguments.mid(1));
}
