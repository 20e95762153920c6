#include "TransferCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "CtlContext.h"
#include "CtlOutput.h"
#include "DeviceCommands.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/transfer/FileLanding.h"
#include "quorvel/transfer/PartialFile.h"
#include "quorvel/transfer/UploadSelection.h"
#include "settings/Config.h"

int TransferCommands::follow(
    CtlContext& ctx, const QList<int>& ids, const char* command, bool toStdout, bool namesDevice, QList<int>* failedIds)
{
    TransferQueue& queue = ctx.transfers();
    int ended = 0;
    int failures = 0;
    QObject anchor;
    QObject::connect(&queue, &TransferQueue::progress, &anchor, [&](const ProgressContent& p) {
        if (ids.contains(p.id))
            ctx.out().progress(p, ids.indexOf(p.id) + 1, ids.size());
    });
    QObject::connect(
        &queue, &TransferQueue::transferEnded, &anchor, [&](const ProgressContent& p, const TaskOutcome& o) {
            if (!ids.contains(p.id))
                return;
            ++ended;
            const QString local = p.nativePath;
            const QString remote = p.remotePath;
            const int n = ids.indexOf(p.id) + 1;
            const QString which
                = ids.size() > 1 ? QStringLiteral(" (file %1 of %2)").arg(n).arg(ids.size()) : QString();
            // Sending to several devices: which one.
            const QString to = namesDevice ? QStringLiteral(" to ") + CtlOutput::where(p.server) : QString();
            if (!o.ok) {
                ++failures;
                if (failedIds)
                    failedIds->append(p.id);
                const QString name = p.type == ProgressContent::Download ? remote : local;
                ctx.fail(QStringLiteral("%1 of %2%3 failed%4").arg(QString::fromLatin1(command), name, to, which), o);
                return;
            }
            if (ctx.out().json())
                ctx.out().result(true, CtlOutput::where(p.server), local, remote);
            else if (toStdout)
                ctx.out().notice(QStringLiteral("downloaded %1").arg(CtlOutput::escaped(remote)));
            else if (p.type == ProgressContent::Download)
                ctx.out().line(QStringLiteral("downloaded %1 -> %2%3")
                                   .arg(CtlOutput::escaped(remote), CtlOutput::escaped(local), which));
            else
                ctx.out().line(QStringLiteral("uploaded %1 -> %2%3")
                                   .arg(CtlOutput::escaped(local), CtlOutput::escaped(remote), which));
        });
    if (!ctx.waitFor([&] { return ended == ids.size(); })) {
        // Interrupted or out of time: stop cleanly, keeping what moved.
        queue.stopAndWait();
        ctx.out().finishProgress();
        if (ctx.interrupted())
            ctx.fail(QStringLiteral("interrupted: %1 of %2 transfers ended").arg(ended).arg(ids.size()));
        else if (ctx.out().writeFailure().isEmpty())
            ctx.fail(QStringLiteral("%1 stopped: --max-time passed").arg(QString::fromLatin1(command)));
        return ids.size() - ended + failures;
    }
    return failures;
}

namespace {
// Standard input into a file of the scratch folder, read as it comes (Ctrl-C still
// stops it); false (and the reason) when it cannot be read or stored.
bool readStandardInput(CtlContext& ctx, const QString& path, QString* why)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    bool ended = false;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            return;
        if (n < 0)
            *why = QString::fromLocal8Bit(std::strerror(errno));
        else if (n > 0 && file.write(buffer, n) != n)
            *why = file.errorString();
        if (n <= 0 || !why->isEmpty()) {
            input.setEnabled(false);
            ended = true;
        }
    });
    ctx.waitFor([&] { return ended; });
    return ended && why->isEmpty() && file.flush();
}
} // namespace

int TransferCommands::upload(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp",
        "把文件逐个上传到一台设备; 同时上传到多台设备 (DEV,DEV,... 或 --all) 时, 每台设备按顺序接收自己的文件, "
        "一台失败不妨碍其他设备. 使用 -r 时, 文件夹发送其中及其子文件夹中的文件, 与窗口发送拖入的文件夹相同. FILE 为 - "
        "时把标准输入上传为 --name."));
    p.addPositionalArgument("DEVICE",
        QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT 或名称; 多个用逗号分隔 (使用 --all 时不写)."));
    p.addPositionalArgument("FILE",
        QCoreApplication::translate("CtlHelp", "要上传的文件 (使用 -r 时也可以是文件夹), 或 - 表示标准输入."),
        "FILE...");
    p.addOption({{"r", "recursive"}, QCoreApplication::translate("CtlHelp", "也发送文件夹中的文件.")});
    p.addOption({"name", QCoreApplication::translate("CtlHelp", "标准输入的内容在设备上的名称."), "name"});
    p.addOption({"secure", QCoreApplication::translate("CtlHelp", "存入设备的保密区.")});
    p.addOption({"all", QCoreApplication::translate("CtlHelp", "发送到一次搜索找到的每台设备 (其他客户端除外).")});
    int exit = 0;
    if (!ctx.parse(p, args, 1, -1, &exit))
        return exit;
    const bool all = p.isSet("all");
    if (!all && p.positionalArguments().size() < 2)
        return ctx.usage(QStringLiteral("upload needs DEVICE and FILE (or --all and FILE)"));
    const QStringList paths = p.positionalArguments().mid(all ? 0 : 1);
    const QString name = p.value("name");
    QTemporaryDir scratch;
    QStringList files;
    if (paths.contains(QStringLiteral("-"))) {
        if (paths.size() != 1)
            return ctx.usage(QStringLiteral("- (standard input) goes alone"));
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".")
            || name == QLatin1String(".."))
            return ctx.usage(QStringLiteral("standard input needs --name NAME, a file name without /"));
        QString why;
        if (!scratch.isValid() || !readStandardInput(ctx, scratch.filePath(name), &why)) {
            if (ctx.interrupted())
                return CtlContext::Interrupted;
            return ctx.fail(QStringLiteral("cannot read standard input"),
                TaskOutcome::failure(why.isEmpty() ? scratch.errorString() : why));
        }
        files.append(scratch.filePath(name));
    } else {
        if (!name.isEmpty())
            return ctx.usage(QStringLiteral("--name names standard input (FILE -)"));
        for (const QString& path : paths) {
            if (!p.isSet("recursive") && QFileInfo(path).isDir())
                return ctx.fail(QStringLiteral("%1 is a folder; -r sends the files in it").arg(path));
        }
        // The window's rule: one for both front ends.
        const UploadSelection selection = UploadSelection::collect(paths);
        for (const QString& problem : selection.problems)
            ctx.fail(problem);
        if (!selection.problems.isEmpty())
            return CtlContext::Failure;
        files = selection.files;
    }
    QList<ServerContent> devices;
    int unresolved = 0;
    if (all) {
        devices = ctx.everyDevice();
        if (devices.isEmpty())
            return ctx.fail(QStringLiteral("no device answered; quorvelctl doctor tells why"));
    } else {
        const QStringList names = p.positionalArguments().at(0).split(QLatin1Char(','), Qt::SkipEmptyParts);
        if (names.isEmpty())
            return ctx.usage(QStringLiteral("no device named"));
        for (const QString& which : names) {
            ServerContent device;
            if (!ctx.resolve(which.trimmed(), true, &device)) {
                // One device that is not found does not keep the file from the others.
                if (names.size() == 1 || ctx.interrupted() || ctx.unresolved() == CtlContext::Usage)
                    return ctx.unresolved();
                ++unresolved;
                continue;
            }
            const bool twice = std::any_of(devices.begin(), devices.end(), [&](const ServerContent& d) {
                return CtlOutput::where(d) == CtlOutput::where(device) || (!d.uuid.isEmpty() && d.uuid == device.uuid);
            });
            if (!twice)
                devices.append(device);
        }
    }
    const bool several = devices.size() + unresolved > 1;
    QList<int> ids;
    QHash<int, ServerContent> target;
    for (const ServerContent& device : qAsConst(devices)) {
        if (!device.address.isNull() && device.uuid.isEmpty())
            ctx.out().notice(
                QStringLiteral("%1 did not say who it is; uploading all the same").arg(CtlOutput::where(device)));
        for (int id : ctx.transfers().upload(files, device, p.isSet("secure"))) {
            ids.append(id);
            target.insert(id, device);
        }
    }
    QList<int> failedIds;
    const int failed = follow(ctx, ids, "upload", false, several, &failedIds);
    if (ctx.interrupted())
        return CtlContext::Interrupted;
    if (several) {
        // Which rooms have every file, which do not.
        QStringList good, bad;
        for (const ServerContent& device : qAsConst(devices)) {
            bool ok = true;
            for (int id : failedIds)
                ok = ok && CtlOutput::where(target.value(id)) != CtlOutput::where(device);
            (ok ? good : bad).append(CtlOutput::where(device));
        }
        if (unresolved)
            bad.append(QStringLiteral("%1 not found").arg(unresolved));
        const QString summary = QStringLiteral("uploaded to %1 of %2 devices%3%4")
                                    .arg(good.size())
                                    .arg(devices.size() + unresolved)
                                    .arg(good.isEmpty() ? QString() : QStringLiteral(": ") + good.join(", "),
                                        bad.isEmpty() ? QString() : QStringLiteral("; failed: ") + bad.join(", "));
        if (ctx.out().json()) {
            if (!bad.isEmpty())
                ctx.out().warning(summary);
        } else {
            ctx.out().line(summary);
        }
    }
    return failed || unresolved ? CtlContext::Failure : CtlContext::Success;
}

int TransferCommands::download(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.addPositionalArgument("DEVICE", QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT 或名称."));
    p.addPositionalArgument("REMOTE_PATH", QCoreApplication::translate("CtlHelp", "设备上的文件."));
    p.addOption({{"o", "output"},
        QCoreApplication::translate("CtlHelp",
            "存到哪里: 一个文件, 一个文件夹 (名称以 / 结尾时会创建), 或 - 表示输出到标准输出 (默认: 当前目录)."),
        "local_path"});
    p.addOption({"overwrite",
        QCoreApplication::translate(
            "CtlHelp", "替换已有的文件 (默认: 保留它, 把下载的文件存为下一个空闲的名称 NAME (1).ext).")});
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp",
        "从设备下载一个文件. 数据先存入 LOCAL_PATH.part, 设备确认后改为最终的名称; 中断的下载再次运行时从 part 续传. "
        "使用 -o - 时数据一到就输出到标准输出 (没有 part, 不能续传). 没有 --overwrite 时从不替换已有的文件, "
        "也不碰本程序没有写过的 .part."));
    int exit = 0;
    if (!ctx.parse(p, args, 2, 2, &exit))
        return exit;
    const QString remote = p.positionalArguments().at(1);
    const QString name = remote.split(QLatin1Char('/')).last();
    const bool toStdout = p.value("output") == QLatin1String("-");
    if (toStdout && ctx.out().json())
        return ctx.usage(QStringLiteral("-o - and --json both want standard output"));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return ctx.usage(QStringLiteral("\"%1\" names no file").arg(remote));
    // A path the user typed is the user's: against the current directory.
    QString local = p.value("output");
    if (!toStdout) {
        if (local.isEmpty()) {
            // Like every command-line download program: where the user is.
            local = QDir::current().filePath(name);
        } else if (local.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(local))
                return ctx.fail(QStringLiteral("cannot make the folder %1").arg(local));
            local = QDir(local).filePath(name);
        } else if (QFileInfo(local).isDir()) {
            local = QDir(local).filePath(name);
        }
        local = QFileInfo(local).absoluteFilePath();
        const QFileInfo folder(QFileInfo(local).absolutePath());
        if (!folder.isDir())
            return ctx.fail(QStringLiteral("cannot write %1").arg(local),
                TaskOutcome::failure(
                    QStringLiteral("the folder %1 does not exist (-o FOLDER/ makes it)").arg(folder.filePath())));
    }
    ServerContent device;
    if (!ctx.resolve(p.positionalArguments().at(0), true, &device))
        return ctx.unresolved();
    // The history keeps the file's modification time, as the browser's downloads do. Only
    // a device lists its folders: another client serving an offered file would let the
    // question's wait eat into the offer's lifetime.
    const qint64 modified
        = device.type == ProtocolValue::Server ? DeviceCommands::modifiedOf(ctx, device, remote) : qint64(0);
    int id = 0;
    if (toStdout) {
        id = ctx.transfers().stream(remote, STDOUT_FILENO, QStringLiteral("-"), device, modified);
    } else {
        // The one rule of where downloads land: beside what is there, unless told to replace.
        const bool replace = p.isSet("overwrite");
        QString reason;
        const QString wanted = local;
        local = FileLanding::choose(wanted, device.address.toString(), remote, replace, &reason);
        if (local.isEmpty())
            return ctx.fail(QStringLiteral("cannot store %1").arg(wanted), TaskOutcome::failure(reason));
        if (local != wanted)
            ctx.out().notice(QStringLiteral("%1 is there already: storing as %2")
                                 .arg(CtlOutput::escaped(wanted), CtlOutput::escaped(QFileInfo(local).fileName())));
        const QFileInfo part(PartialFile::partPathOf(local));
        if (part.exists() && PartialFile::usableBy(local, device.address.toString(), remote))
            ctx.out().notice(QStringLiteral("resuming from %1 (%2 bytes)").arg(part.fileName()).arg(part.size()));
        id = ctx.transfers().download(remote, local, device, modified, replace);
    }
    const int failed = follow(ctx, {id}, "download", toStdout);
    if (ctx.interrupted())
        return CtlContext::Interrupted;
    return failed ? CtlContext::Failure : CtlContext::Success;
}
