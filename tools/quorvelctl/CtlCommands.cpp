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
#include "TransferCommands.h"
#include "app/AppContext.h"
#include "quorvel/storage/QuorvelClientDatabase.h"

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

CtlCommands::CtlCommands(AppContext& app, CtlOutput& out, const Globals& globals)
    : m_context(app, out, globals.maxTimeSeconds)
{
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
        const QString name = a.section(QLatin1Char('='), 0, 0);
        if (a == QLatin1String("--json")) {
            globals->json = true;
        } else if (a == QLatin1String("--verbose")) {
            globals->verbose = true;
        } else if (name == QLatin1String("--config")) {
            if (a.contains(QLatin1Char('=')))
                globals->configFile = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            else if (i + 1 < arguments->size())
                globals->configFile = arguments->at(++i);
            if (globals->configFile.isEmpty()) {
                *error = QStringLiteral("--config takes a settings file");
                return false;
            }
        } else if (name == QLatin1String("--timeout") || name == QLatin1String("--max-time")) {
            QString value;
            if (a.contains(QLatin1Char('=')))
                value = a.mid(a.indexOf(QLatin1Char('=')) + 1);
            else if (i + 1 < arguments->size())
                value = arguments->at(++i);
            bool ok = false;
            const int seconds = value.toInt(&ok);
            if (!ok || seconds < 1 || seconds > 86400) {
                *error
                    = QStringLiteral("%1 takes a whole number of seconds from 1 to 86400, not \"%2\"").arg(name, value);
                return false;
            }
            (name == QLatin1String("--timeout") ? globals->timeoutSeconds : globals->maxTimeSeconds) = seconds;
        } else {
            rest.append(a);
        }
    }
    *arguments = rest;
    return true;
}

QString CtlCommands::version()
{
    return QStringLiteral("quorvelctl %1").arg(QStringLiteral(QUORVEL_VERSION));
}

QString CtlCommands::usage()
{
    return QStringLiteral(
        "Usage: quorvelctl [--json] [--timeout SECONDS] [--max-time SECONDS] [--config FILE] [--verbose] COMMAND "
        "ARGS...\n"
        "       quorvelctl --version | -V | --help | --help-all\n"
        "\n"
        "DEVICE is ADDRESS, ADDRESS:PORT, a host name or a device name or uuid (any case; a remembered\n"
        "device is asked where it was last seen, another found by one discovery pass).\n"
        "--timeout bounds each wait for a connection, an answer or the next bytes; --max-time the whole\n"
        "command. The global options may also follow the command.\n"
        "\n"
        "Commands:\n"
        "  discover [--wait SECONDS]            find devices and other clients\n"
        "  ls DEVICE [PATH] [--sort ORDER]      list a folder of a device (by name by default)\n"
        "  upload DEVICE[,DEVICE...]|--all FILE... [-r] [--secure]\n"
        "                                       upload files (-r: folders too), one after another;\n"
        "                                       to several devices at once\n"
        "  upload DEVICE - --name NAME          upload standard input as NAME\n"
        "  download DEVICE REMOTE_PATH [-o LOCAL_PATH|FOLDER/|-]\n"
        "                                       download a file (resumes from LOCAL_PATH.part;\n"
        "                                       - streams it to standard output)\n"
        "  open DEVICE REMOTE_PATH              show a file on the device's screen\n"
        "  rm DEVICE REMOTE_PATH                delete a file on the device\n"
        "  thumb DEVICE REMOTE_PATH -o FILE     save a file's thumbnail\n"
        "  welcome DEVICE TEXT                  set the welcome text\n"
        "  history DEVICE                       transfers with the device, newest first\n"
        "  devices [ls] | devices add ADDRESS[:PORT] | devices rm ADDRESS[:PORT]\n"
        "                                       the hand-added devices (add also takes a host name\n"
        "                                       and an IPv4 range up to a /22: 198.51.100.0/24)\n"
        "  config ls | config get KEY | config set KEY VALUE | config unset KEY\n"
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
    QuorvelClientDatabase* db = m_context.app().database();
    if (db && !toldOpenWarning && !db->openWarning().isEmpty()) {
        toldOpenWarning = true;
        m_context.out().warning(db->openWarning());
    }
    // The command's own parser sees "quorvelctl COMMAND ...".
    return table().value(name)(m_context, QStringList{QStringLiteral("quorvelctl ") + name} + arguments);
}

int CtlCommands::run(const QStringList& arguments)
{
    const QStringList commands = table().keys() + QStringList{QStringLiteral("help")};
    if (arguments.isEmpty()) {
        if (!m_context.out().json())
            fprintf(stderr, "%s\n", usage().toUtf8().constData());
        return m_context.usage(QStringLiteral("no command"));
    }
    const QString first = arguments.first();
    const bool help = first == QLatin1String("help");
    if (first == QLatin1String("-h") || first == QLatin1String("--help") || (help && arguments.size() == 1)
        || (help && arguments.at(1) == QLatin1String("help"))) {
        m_context.printHelp(QString(), usage());
        return Success;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        if (m_context.out().json())
            m_context.out().event(QStringLiteral("version"),
                {{"program", QStringLiteral("quorvelctl")}, {"version", QStringLiteral(QUORVEL_VERSION)}});
        else
            m_context.out().line(version());
        return Success;
    }
    if (first == QLatin1String("--help-all")) {
        m_context.printHelp(QString(), usage());
        for (auto it = table().constBegin(); it != table().constEnd(); ++it) {
            if (!m_context.out().json())
                m_context.out().text(QStringLiteral("\n== quorvelctl %1 ==\n").arg(it.key()));
            runCommand(it.key(), {QStringLiteral("--help")});
        }
        return Success;
    }
    if (help) {
        if (!table().contains(arguments.at(1)))
            return m_context.usage(QStringLiteral("unknown command \"%1\"%2")
                                       .arg(arguments.at(1), CtlContext::didYouMean(arguments.at(1), commands)));
        return runCommand(arguments.at(1), {QStringLiteral("--help")});
    }
    if (first.startsWith(QLatin1Char('-')))
        return m_context.unknownOption(
            first, {"--json", "--timeout", "--max-time", "--config", "--verbose", "--version", "--help", "--help-all"});
    if (!table().contains(first))
        return m_context.usage(
            QStringLiteral("unknown command \"%1\"%2").arg(first, CtlContext::didYouMean(first, commands)));
    return runCommand(first, arguments.mid(1));
}
