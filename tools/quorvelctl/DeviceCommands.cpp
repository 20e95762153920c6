#include "DeviceCommands.h"

#include "app/AppContext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <algorithm>
#include <memory>

#include "CtlContext.h"
#include "CtlOutput.h"
#include "quorvel/browse/FileFinder.h"
#include "quorvel/browse/FileThumb.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/services/DeviceActions.h"

namespace {
// The orders people type, each NAME, NAME-asc or NAME-desc, and the device's word for
// it ("type" is sorted here: folders first, then by name).
const QStringList SortNames{"name", "size", "time", "type"};

bool sortOrder(const QString& typed, QString* protocol, bool* byType, bool* descending)
{
    // The device's own words still work in scripts written for them.
    static const QStringList protocolWords{ProtocolValue::FileNameIncrease, ProtocolValue::FileNameDecrease,
        ProtocolValue::FileSizeIncrease, ProtocolValue::FileSizeDecrease, ProtocolValue::DateModifiedIncrease,
        ProtocolValue::DateModifiedDecrease};
    if (protocolWords.contains(typed)) {
        *protocol = typed;
        *byType = *descending = false;
        return true;
    }
    QString name = typed.toLower();
    *descending = name.endsWith(QLatin1String("-desc"));
    if (*descending || name.endsWith(QLatin1String("-asc")))
        name = name.left(name.lastIndexOf(QLatin1Char('-')));
    *byType = name == QLatin1String("type");
    if (name == QLatin1String("name") || *byType)
        *protocol = *descending && !*byType ? ProtocolValue::FileNameDecrease : ProtocolValue::FileNameIncrease;
    else if (name == QLatin1String("size"))
        *protocol = *descending ? ProtocolValue::FileSizeDecrease : ProtocolValue::FileSizeIncrease;
    else if (name == QLatin1String("time"))
        *protocol = *descending ? ProtocolValue::DateModifiedDecrease : ProtocolValue::DateModifiedIncrease;
    else
        return false;
    return true;
}

QString joinPath(const QString& folder, const QString& name)
{
    return (folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/')) + name;
}

QString featuresText(const ServerContent& s)
{
    QStringList parts = s.supportList;
    for (const SupportEntry& e : s.supportPorts)
        parts << QStringLiteral("%1:%2").arg(e.name).arg(e.port);
    parts.sort();
    return parts.join(QLatin1Char(','));
}

} // namespace

TaskOutcome DeviceCommands::list(
    CtlContext& ctx, const ServerContent& device, const QString& path, const QString& sort, QList<FileContent>* entries)
{
    auto* finder = new FileFinder(path, sort, device);
    // Shared with the connection: a listing cut short by --timeout may still arrive.
    auto got = std::make_shared<QList<FileContent>>();
    QObject::connect(finder, &FileFinder::findFileEnd, ctx.anchor(), [got](const QList<FileContent>& l) { *got = l; });
    const TaskOutcome outcome = ctx.runTask(finder);
    *entries = *got;
    return outcome;
}

qint64 DeviceCommands::modifiedOf(CtlContext& ctx, const ServerContent& device, const QString& remote, bool* missing)
{
    const int slash = remote.lastIndexOf(QLatin1Char('/'));
    QList<FileContent> entries;
    const bool listed
        = list(ctx, device, slash > 0 ? remote.left(slash) : QString(), ProtocolValue::FileNameIncrease, &entries).ok;
    if (missing)
        *missing = listed;
    for (const FileContent& e : qAsConst(entries)) {
        if (e.name == remote.mid(slash + 1)) {
            if (missing)
                *missing = false;
            return e.dateModified;
        }
    }
    return 0;
}

namespace {

// One device action whose result is all there is to say (open, rm, welcome); success
// prints the notice the window shows.
struct SimpleCommand {
    bool remote; // the argument is a remote path
    const char* description;
    const char* argument;
    const char* argumentHelp;
    QString (*failed)(const QString& argument);
};

template <typename Start>
int simpleCommand(CtlContext& ctx, const QStringList& args, const SimpleCommand& command, Start start)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp", command.description));
    p.addPositionalArgument("DEVICE", QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT 或名称."));
    p.addPositionalArgument(command.argument, QCoreApplication::translate("CtlHelp", command.argumentHelp));
    int exit = 0;
    if (!ctx.parse(p, args, 2, 2, &exit))
        return exit;
    const QString argument = p.positionalArguments().at(1);
    ServerContent device;
    if (!ctx.resolve(p.positionalArguments().at(0), false, &device))
        return ctx.unresolved();
    const DeviceActionResult result
        = ctx.runAction([&](DeviceActions& actions) { return start(actions, device, argument); });
    const TaskOutcome& outcome = result.outcome;
    bool missing = false;
    // A device's refusal says little ("Delete fail."): a file that is not there is said so.
    if (!outcome.ok && command.remote && !outcome.deviceReason.isEmpty())
        DeviceCommands::modifiedOf(ctx, device, argument, &missing);
    if (missing)
        return ctx.fail(command.failed(argument),
            TaskOutcome::failure(QStringLiteral("there is no such file on %1").arg(CtlOutput::where(device))));
    if (!outcome.ok)
        return ctx.fail(command.failed(argument), outcome);
    if (ctx.out().json())
        ctx.out().result(true, CtlOutput::where(device), QString(), command.remote ? argument : QString());
    else
        ctx.out().line(result.notice());
    return CtlContext::Success;
}
} // namespace

int DeviceCommands::discover(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp", "一次搜索: 手动添加的设备, mDNS 和广播."));
    p.addOption({"wait", QCoreApplication::translate("CtlHelp", "监听这么多秒 (默认 3)."), "seconds", "3"});
    int exit = 0;
    int waitMs = 0;
    if (!ctx.parse(p, args, 0, 0, &exit))
        return exit;
    if (!ctx.seconds(p, "wait", &waitMs))
        return CtlContext::Usage;
    DiscoveryServer* server = ctx.app().discovery();
    server->startDiscovery();
    ctx.waitFor([] { return false; }, waitMs);

    QList<ServerContent> found = server->devices();
    std::sort(found.begin(), found.end(), [](const ServerContent& a, const ServerContent& b) {
        return a.address.toIPv4Address() < b.address.toIPv4Address();
    });
    for (const ServerContent& s : qAsConst(found)) {
        const QString method = server->foundBy(s.address);
        if (ctx.out().json()) {
            ctx.out().event("device", CtlOutput::deviceJson(s, method));
        } else {
            ctx.out().line(QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8")
                               .arg(CtlOutput::where(s), CtlOutput::escaped(s.name), CtlOutput::escaped(s.type),
                                   CtlOutput::escaped(s.uuid), CtlOutput::escaped(s.version), CtlOutput::escaped(s.os),
                                   CtlOutput::escaped(featuresText(s)), method));
        }
    }
    if (found.isEmpty())
        ctx.out().notice(
            QStringLiteral("no device answered within %1 s; quorvelctl doctor tells why").arg(waitMs / 1000));
    return ctx.interrupted() ? CtlContext::Interrupted : CtlContext::Success;
}

int DeviceCommands::ls(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QCoreApplication::translate("CtlHelp", "列出设备上的一个文件夹, 按名称排序, 除非 --sort 另有指定."));
    p.addPositionalArgument("DEVICE", QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT 或名称."));
    p.addPositionalArgument("PATH", QCoreApplication::translate("CtlHelp", "设备上的文件夹 (默认: 根目录)."), "[PATH]");
    p.addOption({"sort",
        QCoreApplication::translate("CtlHelp",
            "name, size, time 或 type, 也可写作 NAME-asc 或 NAME-desc (默认: name; type "
            "把文件夹排在前面)."),
        "order", "name"});
    int exit = 0;
    if (!ctx.parse(p, args, 1, 2, &exit))
        return exit;
    QString order;
    bool byType = false;
    bool descending = false;
    if (!sortOrder(p.value("sort"), &order, &byType, &descending))
        return ctx.usage(QStringLiteral("unknown sort order \"%1\"; use %2, each also with -asc or -desc")
                             .arg(p.value("sort"), SortNames.join(", ")));
    ServerContent device;
    if (!ctx.resolve(p.positionalArguments().at(0), false, &device))
        return ctx.unresolved();
    const QString path = p.positionalArguments().value(1);
    QList<FileContent> entries;
    const TaskOutcome outcome = list(ctx, device, path, order, &entries);
    if (!outcome.ok)
        return ctx.fail(QStringLiteral("listing %1 failed").arg(path.isEmpty() ? QStringLiteral("/") : path), outcome);
    if (byType) {
        std::stable_sort(entries.begin(), entries.end(), [descending](const FileContent& a, const FileContent& b) {
            return descending ? (!a.isDir() && b.isDir()) : (a.isDir() && !b.isDir());
        });
    }
    for (const FileContent& e : qAsConst(entries)) {
        if (ctx.out().json()) {
            ctx.out().event("entry",
                {{"name", e.name}, {"path", joinPath(path.isEmpty() ? QStringLiteral("/") : path, e.name)},
                    {"kind", e.isDir() ? "dir" : "file"}, {"size", double(e.size)},
                    {"modified_ms", double(e.dateModified)}});
        } else {
            const QString date = QDateTime::fromMSecsSinceEpoch(e.dateModified).toString(Qt::ISODate);
            ctx.out().line(QStringLiteral("%1\t%2\t%3\t%4")
                               .arg(e.isDir() ? "dir" : "file")
                               .arg(e.size)
                               .arg(date, CtlOutput::escaped(e.name)));
        }
    }
    return CtlContext::Success;
}

int DeviceCommands::open(CtlContext& ctx, const QStringList& args)
{
    static const SimpleCommand command{true, QT_TRANSLATE_NOOP("CtlHelp", "在设备屏幕上显示一个文件."), "REMOTE_PATH",
        QT_TRANSLATE_NOOP("CtlHelp", "设备上的文件."),
        [](const QString& path) { return QStringLiteral("opening %1 failed").arg(path); }};
    return simpleCommand(
        ctx, args, command, [](DeviceActions& actions, const ServerContent& device, const QString& path) {
            return actions.open(device, path);
        });
}

int DeviceCommands::rm(CtlContext& ctx, const QStringList& args)
{
    static const SimpleCommand command{true, QT_TRANSLATE_NOOP("CtlHelp", "删除设备上的一个文件."), "REMOTE_PATH",
        QT_TRANSLATE_NOOP("CtlHelp", "设备上的文件."),
        [](const QString& path) { return QStringLiteral("deleting %1 failed").arg(path); }};
    return simpleCommand(
        ctx, args, command, [](DeviceActions& actions, const ServerContent& device, const QString& path) {
            return actions.remove(device, path);
        });
}

int DeviceCommands::welcome(CtlContext& ctx, const QStringList& args)
{
    static const SimpleCommand command{false, QT_TRANSLATE_NOOP("CtlHelp", "设置设备显示的欢迎辞."), "TEXT",
        QT_TRANSLATE_NOOP("CtlHelp", "欢迎辞."),
        [](const QString& text) { return QStringLiteral("setting the welcome text \"%1\" failed").arg(text); }};
    if (args.size() == 3 && args.at(2).isEmpty())
        return ctx.usage(QCoreApplication::translate("CtlCommands", "欢迎辞内容不能为空!"));
    return simpleCommand(
        ctx, args, command, [](DeviceActions& actions, const ServerContent& device, const QString& text) {
            return actions.setWelcome(device, text);
        });
}

int DeviceCommands::thumb(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp", "保存设备上一个文件的缩略图."));
    p.addPositionalArgument("DEVICE", QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT 或名称."));
    p.addPositionalArgument("REMOTE_PATH", QT_TRANSLATE_NOOP("CtlHelp", "设备上的文件."));
    p.addOption({{"o", "output"}, QCoreApplication::translate("CtlHelp", "缩略图保存到哪里."), "file"});
    int exit = 0;
    if (!ctx.parse(p, args, 2, 2, &exit))
        return exit;
    if (p.value("output").isEmpty())
        return ctx.usage(QStringLiteral("-o FILE is missing"));
    ServerContent device;
    if (!ctx.resolve(p.positionalArguments().at(0), true, &device))
        return ctx.unresolved();
    const QString remote = p.positionalArguments().at(1);
    // The cache is keyed by the file's modification time: take it from the listing.
    const qint64 dateModified = modifiedOf(ctx, device, remote);
    auto* task = new FileThumb(remote, device, dateModified, QModelIndex(), ctx.app().database());
    auto got = std::make_shared<QByteArray>();
    QObject::connect(task, &FileThumb::getThumbEnd, ctx.anchor(),
        [got](bool, const QByteArray& data, const QModelIndex&) { *got = data; });
    const TaskOutcome outcome = ctx.runTask(task);
    const QByteArray bytes = *got;
    if (!outcome.ok)
        return ctx.fail(QStringLiteral("no thumbnail for %1").arg(remote), outcome);
    QFile out(p.value("output"));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return ctx.fail(QStringLiteral("cannot write %1: %2").arg(out.fileName(), out.errorString()));
    if (ctx.out().json())
        ctx.out().result(true, CtlOutput::where(device), QFileInfo(out.fileName()).absoluteFilePath(), remote);
    else
        ctx.out().line(
            QStringLiteral("thumbnail of %1 -> %2 (%3 bytes)").arg(remote, out.fileName()).arg(bytes.size()));
    return CtlContext::Success;
}
