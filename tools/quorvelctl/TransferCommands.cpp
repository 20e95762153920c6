#include "TransferCommands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>

#include "Config.h"
#include "CtlContext.h"
#include "CtlOutput.h"
#include "TransferQueue.h"

int TransferCommands::follow(CtlContext& ctx, const QList<int>& ids, const char* command)
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
            if (!o.ok) {
                ++failures;
                const QString which = p.type == ProgressContent::Download ? remote : local;
                ctx.fail(QStringLiteral("%1 of %2 failed").arg(QString::fromLatin1(command), which), o);
                return;
            }
            if (ctx.out().json()) {
                ctx.out().object({{"event", "result"}, {"command", command}, {"ok", true}, {"file", local},
                    {"remote", remote}, {"id", p.id}});
            } else if (p.type == ProgressContent::Download) {
                ctx.out().line(QStringLiteral("downloaded %1 -> %2").arg(remote, local));
            } else {
                ctx.out().line(QStringLiteral("uploaded %1 -> %2").arg(local, remote));
            }
        });
    if (!ctx.waitFor([&] { return ended == ids.size(); })) {
        // Interrupted or out of time: stop cleanly, keeping what moved.
        queue.stopAndWait();
        ctx.out().finishProgress();
        ctx.fail(ctx.interrupted() ? QStringLiteral("interrupted: %1 of %2 transfers ended").arg(ended).arg(ids.size())
                                   : QStringLiteral("%1 timed out").arg(QString::fromLatin1(command)));
        return ids.size() - ended + failures;
    }
    return failures;
}

int TransferCommands::upload(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Upload files to a device, one after another."));
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addPositionalArgument("FILE", "Files to upload.", "FILE...");
    p.addOption({"secure", "Store them in the device's confidential area."});
    int exit = 0;
    if (!ctx.parse(p, args, 2, -1, &exit))
        return exit;
    QStringList files;
    if (!ctx.existingFiles(p.positionalArguments().mid(1), &files))
        return CtlContext::Failure;
    ServerContent device;
    if (!ctx.resolve(p.positionalArguments().at(0), true, &device))
        return CtlContext::Failure;
    const QList<int> ids = ctx.transfers().upload(files, device, p.isSet("secure"));
    const int failed = follow(ctx, ids, "upload");
    if (ctx.interrupted())
        return CtlContext::Interrupted;
    return failed ? CtlContext::Failure : CtlContext::Success;
}

int TransferCommands::download(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Download a file from a device."));
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addPositionalArgument("REMOTE_PATH", "The file on the device.");
    p.addOption({{"o", "output"}, "Where to store it (default: the DownloadPath setting).", "local_path"});
    int exit = 0;
    if (!ctx.parse(p, args, 2, 2, &exit))
        return exit;
    const QString remote = p.positionalArguments().at(1);
    const QString name = remote.split(QLatin1Char('/')).last();
    // A path the user typed is the user's: against the current directory.
    QString local = p.value("output");
    if (local.isEmpty()) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            return ctx.usage(QStringLiteral("\"%1\" names no file; give -o").arg(remote));
        const QString folder = Config::instance()->value(Config::DownloadPath).toString();
        if (!QDir().mkpath(folder))
            return ctx.fail(QStringLiteral("cannot make the download folder %1").arg(folder));
        local = QDir(folder).filePath(name);
    } else if (QFileInfo(local).isDir()) {
        local = QDir(local).filePath(name);
    }
    local = QFileInfo(local).absoluteFilePath();
    ServerContent device;
    if (!ctx.resolve(p.positionalArguments().at(0), true, &device))
        return CtlContext::Failure;
    const int failed = follow(ctx, {ctx.transfers().download(remote, local, device)}, "download");
    if (ctx.interrupted())
        return CtlContext::Interrupted;
    return failed ? CtlContext::Failure : CtlContext::Success;
}
