#include "TransferCommands.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>

#include "Config.h"
#include "CtlContext.h"
#include "CtlOutput.h"
#include "FileLanding.h"
#include "PartialFile.h"
#include "TransferQueue.h"

int TransferCommands::follow(CtlContext& ctx, const QList<int>& ids, const char* command, bool toStdout)
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
            if (!o.ok) {
                ++failures;
                const QString name = p.type == ProgressContent::Download ? remote : local;
                ctx.fail(QStringLiteral("%1 of %2 failed%3").arg(QString::fromLatin1(command), name, which), o);
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
    p.addPositionalArgument("DEVICE", "ADDRESS, ADDRESS:PORT or name.");
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
    if (!device.address.isNull() && device.uuid.isEmpty())
        ctx.out().notice(
            QStringLiteral("%1 did not say who it is; uploading all the same").arg(CtlOutput::where(device)));
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
    p.addPositionalArgument("DEVICE", "ADDRESS, ADDRESS:PORT or name.");
    p.addPositionalArgument("REMOTE_PATH", "The file on the device.");
    p.addOption({{"o", "output"},
        "Where to store it: a file, a folder, or - for standard output (default: the DownloadPath setting).",
        "local_path"});
    p.addOption({"overwrite",
        "Replace a file that is already there (default: keep it and store the download as "
        "NAME (1).ext, the next free name)."});
    p.setApplicationDescription(QStringLiteral(
        "Download a file from a device. The bytes gather in LOCAL_PATH.part and take the final name once the "
        "device confirmed them; an interrupted download resumes from the part when run again. An existing "
        "file is never replaced without --overwrite, nor is a .part this program did not write touched."));
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
    QTemporaryDir scratch;
    if (toStdout) {
        if (!scratch.isValid())
            return ctx.fail(QStringLiteral("no temporary folder"), TaskOutcome::failure(scratch.errorString()));
        local = scratch.filePath(name);
    } else if (local.isEmpty()) {
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
    // The one rule of where downloads land: beside what is there, unless told to replace.
    const bool replace = p.isSet("overwrite") || toStdout;
    QString reason;
    const QString wanted = local;
    local = FileLanding::choose(wanted, device.address.toString(), remote, replace, &reason);
    if (local.isEmpty())
        return ctx.fail(QStringLiteral("cannot store %1").arg(wanted), TaskOutcome::failure(reason));
    if (local != wanted)
        ctx.out().notice(QStringLiteral("%1 is there already: storing as %2")
                             .arg(CtlOutput::escaped(wanted), CtlOutput::escaped(QFileInfo(local).fileName())));
    const QFileInfo part(PartialFile::partPathOf(local));
    if (part.exists())
        ctx.out().notice(QStringLiteral("resuming from %1 (%2 bytes)").arg(part.fileName()).arg(part.size()));
    const int failed = follow(ctx, {ctx.transfers().download(remote, local, device, 0, replace)}, "download", toStdout);
    if (ctx.interrupted())
        return CtlContext::Interrupted;
    if (failed)
        return CtlContext::Failure;
    if (toStdout) {
        QFile in(local);
        QFile out;
        if (!in.open(QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
            return ctx.fail(QStringLiteral("cannot read %1").arg(local), TaskOutcome::failure(in.errorString()));
        char buffer[65536];
        qint64 n;
        while ((n = in.read(buffer, sizeof buffer)) > 0) {
            if (out.write(buffer, n) != n)
                return ctx.fail(
                    QStringLiteral("cannot write to standard output"), TaskOutcome::failure(out.errorString()));
        }
    }
    return CtlContext::Success;
}
