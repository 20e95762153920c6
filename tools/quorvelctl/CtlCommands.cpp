#include "CtlCommands.h"

#include <QCoreApplication>
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
    return QCoreApplication::translate("CtlHelp",
        "用法: quorvelctl [--json] [--timeout SECONDS] [--max-time SECONDS] "
        "[--config FILE] [--verbose] COMMAND ARGS...\n"
        "      quorvelctl --version | -V | --help | --help-all\n"
        "\n"
        "DEVICE 是 ADDRESS, ADDRESS:PORT, 主机名, 或设备的名称或 uuid (不分大小写; 记住的设备先在上次\n"
        "出现的地址询问, 其他设备由一次搜索找到).\n"
        "--timeout 限定每次等待连接, 回复或下一批数据的时间; --max-time 限定整条命令的时间.\n"
        "全局选项也可以放在命令之后.\n"
        "\n"
        "命令:\n"
        "  discover [--wait SECONDS]            查找设备和其他客户端\n"
        "  ls DEVICE [PATH] [--sort ORDER]      列出设备上的一个文件夹 (默认按名称排序)\n"
        "  upload DEVICE[,DEVICE...]|--all FILE... [-r] [--secure]\n"
        "                                       逐个上传文件 (-r: 也上传文件夹);\n"
        "                                       可同时上传到多台设备\n"
        "  upload DEVICE - --name NAME          把标准输入上传为 NAME\n"
        "  download DEVICE REMOTE_PATH [-o LOCAL_PATH|FOLDER/|-]\n"
        "                                       下载一个文件 (从 LOCAL_PATH.part 续传;\n"
        "                                       - 输出到标准输出)\n"
        "  open DEVICE REMOTE_PATH              在设备屏幕上显示一个文件\n"
        "  rm DEVICE REMOTE_PATH                删除设备上的一个文件\n"
        "  thumb DEVICE REMOTE_PATH -o FILE     保存一个文件的缩略图\n"
        "  welcome DEVICE TEXT                  设置欢迎辞\n"
        "  history DEVICE                       与该设备的传输记录, 最新的在前\n"
        "  devices [ls] | devices add ADDRESS[:PORT] | devices rm "
        "ADDRESS[:PORT]\n"
        "                                       手动添加的设备 (add 也接受主机名和\n"
        "                                       最大到 /22 的 IPv4 网段: "
        "198.51.100.0/24)\n"
        "  config ls | config get KEY | config set KEY VALUE | config unset "
        "KEY\n"
        "  serve [--accept | --ask]             接收其他方提供的文件, 直到被中断\n"
        "  offer CLIENT FILE... [--wait SECONDS]\n"
        "                                       向另一个客户端提供文件并供其下载\n"
        "  doctor [--wait SECONDS]              设备为何没有出现: 逐项检查, 并说明怎么办\n"
        "  cast DEVICE [--size WxH]             把本机屏幕投射到设备 (在标准输入键入 p 暂停,\n"
        "                                       r 继续, a 宽高比, s 停止)\n"
        "  help [COMMAND]                       本说明, 或某个命令的说明\n"
        "\n"
        "quorvelctl COMMAND --help 说明一个命令; --help-all 说明所有命令.\n"
        "退出状态: 0 成功, 1 失败, 2 用法错误, 130 被中断.");
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
