#include "CtlCommands.h"

#include <QHash>
#include <cstdio>

#include "CastCommand.h"
#include "CtlContext.h"
#include "CtlOutput.h"
#include "DeviceCommands.h"
#include "DoctorCommand.h"
#include "InboundCommands.h"
#include "LocalCommands.h"
#include "TransferCommands.h"

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

QString CtlCommands::usage()
{
    return QStringLiteral(
        "Usage: quorvelctl [--json] [--timeout SECONDS] [--verbose] COMMAND ARGS...\n"
        "\n"
        "DEVICE is an IP address or a device name (found by one discovery pass).\n"
        "\n"
        "Commands:\n"
        "  discover [--wait SECONDS]            find devices and other clients\n"
        "  ls DEVICE [PATH] [--sort ORDER]      list a folder of a device\n"
        "  upload DEVICE FILE... [--secure]     upload files, one after another\n"
        "  download DEVICE REMOTE_PATH [-o LOCAL_PATH]\n"
        "  open DEVICE REMOTE_PATH              show a file on the device's screen\n"
        "  rm DEVICE REMOTE_PATH                delete a file on the device\n"
        "  thumb DEVICE REMOTE_PATH -o FILE     save a file's thumbnail\n"
        "  welcome DEVICE TEXT                  set the welcome text\n"
        "  history DEVICE                       transfers with the device, newest first\n"
        "  devices add ADDRESS [PORT] | devices rm ADDRESS PORT | devices ls\n"
        "  config get KEY | config set KEY VALUE\n"
        "  serve [--accept | --ask]             receive files other parties offer, until interrupted\n"
        "  offer CLIENT FILE... [--wait SECONDS]\n"
        "                                       offer files to another client and serve them\n"
        "  doctor [--wait SECONDS]              why a device does not show up: checks and what to do\n"
        "  cast DEVICE [--size WxH]             cast this screen to the device (p pause, r resume,\n"
        "                                       a aspect ratio, s stop, on standard input)\n"
        "\n"
        "Each command takes --help. Exit status: 0 success, 1 failure, 2 usage error, 130 interrupted.");
}

int CtlCommands::run(const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        fprintf(stderr, "%s\n", usage().toUtf8().constData());
        return Usage;
    }
    using Command = int (*)(CtlContext&, const QStringList&);
    static const QHash<QString, Command> commands{
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
    const Command command = commands.value(arguments.first());
    if (!command) {
        m_context.out().error(QStringLiteral("unknown command \"%1\"").arg(arguments.first()));
        fprintf(stderr, "%s\n", usage().toUtf8().constData());
        return Usage;
    }
    // The command's own parser sees "quorvelctl COMMAND ...".
    return command(m_context, QStringList{QStringLiteral("quorvelctl ") + arguments.first()} + arguments.mid(1));
}
