#include "InboundCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QThreadPool>
#include <limits>
#include <memory>

#include "CtlContext.h"
#include "CtlOutput.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/discovery/SelfAnnouncement.h"
#include "quorvel/discovery/ZeroconfClient.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/server/FileDistribution.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/server/ServingSessions.h"
#include "quorvel/services/OfferInbox.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/transfer/FileDownloader.h"
#include "settings/Config.h"

bool InboundCommands::listen(CtlContext& ctx, int waitMs)
{
    auto* anchor = ctx.anchor();
    // Shared with the connections, which outlive this call.
    struct State {
        int bound = 0;
        QSet<quint16> reported;
    };
    auto state = std::make_shared<State>();
    CtlOutput& out = ctx.out();
    const auto taken = [&out, state](quint16 port, const QString& error) {
        if (state->reported.contains(port))
            return;
        state->reported.insert(port);
        out.error(QStringLiteral("UDP port %1 is not free (%2); trying again every %3 s")
                      .arg(port)
                      .arg(error)
                      .arg(Timing::current().listenerRebindMs / 1000));
    };
    const auto listening = [state] { ++state->bound; };
    DiscoveryListener* discovery = ctx.app().discoveryListener();
    QObject::connect(discovery, &DiscoveryListener::listening, anchor, listening);
    QObject::connect(discovery, &DiscoveryListener::bindFailed, anchor, taken);
    OperateListener* requests = ctx.app().requests();
    QObject::connect(requests, &OperateListener::listening, anchor, listening);
    QObject::connect(requests, &OperateListener::bindFailed, anchor, taken);
    discovery->start();
    requests->start();
    const bool ok = ctx.waitFor([&] { return state->bound >= 2; }, waitMs);
    QObject::disconnect(discovery, nullptr, anchor, nullptr);
    QObject::disconnect(requests, nullptr, anchor, nullptr);
    return ok;
}

int InboundCommands::serve(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp",
        "接收设备和其他客户端提供的文件: 在 UDP %1 上应答搜索, 在 UDP %2 上接受请求, 在 mDNS 上公布本客户端. "
        "提供的文件在回答 yes 之后 (--ask, 从标准输入读取) 或立即 (--accept) 存入 DownloadPath "
        "设置的文件夹. 一直运行, 直到被中断.")
                                    .arg(ProtocolPort::Discovery)
                                    .arg(ProtocolPort::Operation));
    p.addOption({"accept", QCoreApplication::translate("CtlHelp", "不询问, 接收提供的每个文件.")});
    p.addOption(
        {"ask", QCoreApplication::translate("CtlHelp", "对提供的每个文件都询问 (没有 --accept-from 时的默认做法).")});
    p.addOption({"dir", QCoreApplication::translate("CtlHelp", "把提供的文件存入这个文件夹 (默认: DownloadPath 设置)."),
        "folder"});
    p.addOption({"accept-from",
        QCoreApplication::translate("CtlHelp",
            "不询问就接收这一方提供的文件, 拒绝其他所有方的: 它的 ADDRESS, 名称也须相符时写 NAME@ADDRESS (可重复). "
            "只写名称会被拒绝: 名称只是对方的自称, 任何主机都可以这么说."),
        "party"});
    int exit = 0;
    if (!ctx.parse(p, args, 0, 0, &exit))
        return exit;
    const QStringList from = p.values("accept-from");
    for (const QString& party : from) {
        if (!OfferInbox::isPartyRule(party))
            return ctx.usage(QStringLiteral("--accept-from takes ADDRESS or NAME@ADDRESS, not \"%1\": a name alone is "
                                            "what the party says of itself, and any host may say it")
                                 .arg(party));
    }
    QString folder = ctx.app().config()->value(Config::DownloadPath).toString();
    if (p.isSet("dir")) {
        // The user's path: against the current directory.
        folder = QFileInfo(p.value("dir")).absoluteFilePath();
        if (!QFileInfo(folder).isDir() && !QDir().mkpath(folder))
            return ctx.fail(QStringLiteral("cannot make the folder %1").arg(folder));
    }
    OfferInbox& inbox = ctx.inbox();
    inbox.setFolder(folder);
    inbox.setAcceptFrom(from);
    inbox.setPolicy(
        (p.isSet("accept") || !from.isEmpty()) && !p.isSet("ask") ? OfferInbox::AcceptAll : OfferInbox::Ask);
    CtlOutput& out = ctx.out();
    // Each offer is numbered as it comes; its answer carries the number. The inbox answers
    // the offers of one party and path in the order they came.
    struct Numbered {
        QString key;
        int id;
    };
    auto numbers = std::make_shared<QList<Numbered>>();
    auto last = std::make_shared<int>(0);
    const auto keyOf = [](const OfferInbox::Offer& o) { return CtlOutput::where(o.from) + '\n' + o.remotePath; };
    const auto answered = [numbers, keyOf](const OfferInbox::Offer& o) {
        for (int i = 0; i < numbers->size(); ++i) {
            if (numbers->at(i).key == keyOf(o))
                return numbers->takeAt(i).id;
        }
        return 0;
    };
    QObject::connect(
        &inbox, &OfferInbox::offered, ctx.anchor(), [&out, numbers, last, keyOf](const OfferInbox::Offer& o) {
            numbers->append({keyOf(o), ++*last});
            if (out.json())
                out.event("offered",
                    {{"id", *last}, {"device", CtlOutput::where(o.from)}, {"device_name", o.from.name},
                        {"remote", o.remotePath}});
        });
    QObject::connect(
        &inbox, &OfferInbox::declined, ctx.anchor(), [&out, answered](const OfferInbox::Offer& o, const QString& why) {
            const int id = answered(o);
            if (out.json())
                out.event("declined",
                    {{"id", id}, {"device", CtlOutput::where(o.from)}, {"remote", o.remotePath}, {"reason", why}});
            else
                out.line(QStringLiteral("declined %1: %2").arg(CtlOutput::escaped(o.remotePath), why));
        });
    QObject::connect(&inbox, &OfferInbox::accepted, ctx.anchor(),
        [&out, answered](const OfferInbox::Offer& o, int, const QString& local) {
            const int id = answered(o);
            const QFileInfo part(FileDownloader::partPathOf(local));
            if (part.size() > 0)
                out.notice(QStringLiteral("resuming %1 from %2 bytes")
                               .arg(CtlOutput::escaped(part.fileName()))
                               .arg(part.size()));
            if (out.json())
                out.event("accepted",
                    {{"id", id}, {"device", CtlOutput::where(o.from)}, {"remote", o.remotePath}, {"file", local}});
        });
    QObject::connect(&ctx.transfers(), &TransferQueue::progress, ctx.anchor(),
        [&out](const ProgressContent& pc) { out.progress(pc); });
    QObject::connect(&ctx.transfers(), &TransferQueue::transferEnded, ctx.anchor(),
        [&ctx](const ProgressContent& pc, const TaskOutcome& o) {
            if (!o.ok) {
                ctx.fail(QStringLiteral("receiving %1 failed").arg(pc.remotePath), o);
                return;
            }
            if (ctx.out().json())
                ctx.out().result(true, CtlOutput::where(pc.server), pc.nativePath, pc.remotePath);
            else
                ctx.out().line(QStringLiteral("received %1 -> %2")
                                   .arg(CtlOutput::escaped(pc.remotePath), CtlOutput::escaped(pc.nativePath)));
        });

    auto* zeroconf = new ZeroconfClient(ctx.anchor());
    auto* announce = new SelfAnnouncement(*zeroconf, zeroconf);
    QObject::connect(announce, &QxtDiscoverableService::registrationError, ctx.anchor(), [&out](int code) {
        out.warning(QStringLiteral("not announced on mDNS (error %1); discovery by broadcast still works").arg(code));
    });
    announce->registerService();
    // Said once the ports are ours; until then the listeners say which one is taken.
    if (ctx.app().discoveryListener()->isRunning())
        return ctx.fail(QStringLiteral("already serving"));
    if (!listen(ctx, ctx.timeoutMs()))
        return ctx.interrupted() ? CtlContext::Interrupted : ctx.fail(QStringLiteral("the ports never came free"));
    if (out.json())
        out.event("serving", {{"folder", folder}});
    else
        out.line(QStringLiteral("serving; offered files go to %1").arg(folder));
    ctx.waitFor([] { return false; });
    ctx.transfers().stopAndWait();
    return ctx.interrupted() ? CtlContext::Interrupted : CtlContext::Success;
}

int InboundCommands::offer(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate(
        "CtlHelp", "向另一个客户端 (或设备) 提供文件并供其下载, 直到每个文件都已取走或等待结束."));
    p.addPositionalArgument("CLIENT", QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT 或名称."));
    p.addPositionalArgument("FILE", QCoreApplication::translate("CtlHelp", "要提供的文件."), "FILE...");
    p.addOption({"wait", QCoreApplication::translate("CtlHelp", "最多提供这么多秒 (默认 300)."), "seconds", "300"});
    int exit = 0;
    int waitMs = 0;
    if (!ctx.parse(p, args, 2, -1, &exit))
        return exit;
    if (!ctx.seconds(p, "wait", &waitMs))
        return CtlContext::Usage;
    QStringList files;
    if (!ctx.existingFiles(p.positionalArguments().mid(1), &files))
        return CtlContext::Failure;
    for (const QString& f : qAsConst(files)) {
        QString why;
        if (!FileDistribution::offerable(f, &why))
            return ctx.fail(QStringLiteral("cannot offer %1").arg(CtlOutput::escaped(f)), TaskOutcome::failure(why));
    }
    ServerContent client;
    if (!ctx.resolve(p.positionalArguments().at(0), false, &client))
        return ctx.unresolved();
    if (!listen(ctx, 3000))
        return ctx.fail(
            QStringLiteral("UDP port %1 is taken: is a client already serving here?").arg(ProtocolPort::Operation));

    QSet<QString> fetched;
    int confirmed = 0;
    QObject scope; // after what the connections capture: it ends them first
    QObject::connect(ctx.app().requests(), &OperateListener::servingProgress, &scope, [&](const ProgressContent& pc) {
        const int n = files.indexOf(pc.nativePath) + 1;
        if (pc.progress == ProgressContent::Done && !fetched.contains(pc.nativePath)) {
            fetched.insert(pc.nativePath);
            // Each file's result as it is fetched.
            if (ctx.out().json())
                ctx.out().result(true, CtlOutput::where(client), pc.nativePath, pc.nativePath);
            else
                ctx.out().line(QStringLiteral("fetched %1 (file %2 of %3)")
                                   .arg(CtlOutput::escaped(pc.nativePath))
                                   .arg(n)
                                   .arg(files.size()));
        } else if (pc.progress >= 0 && pc.progress <= 100 && (pc.bytes > 0 || pc.totalBytes == 0 || pc.progress == 0)) {
            // Only once bytes moved: the serving side starts with a report of nothing.
            ctx.out().progress(pc, n, files.size());
        }
    });
    QObject::connect(ctx.app().requests(), &OperateListener::resultQueried, &scope,
        [&confirmed](uint, bool ok) { confirmed += ok; });
    for (const QString& f : qAsConst(files)) {
        const TaskOutcome sent
            = ctx.runTask(new FileDistribution(f, client, ctx.app().config()->clientName(), *ctx.app().offeredFiles()));
        if (!sent.ok)
            ctx.fail(QStringLiteral("could not offer %1").arg(f), sent);
    }
    const auto allFetched = [&] {
        for (const QString& f : qAsConst(files)) {
            if (!fetched.contains(f))
                return false;
        }
        return true;
    };
    QElapsedTimer waited;
    waited.start();
    if (ctx.out().json())
        ctx.out().event("waiting",
            {{"device", CtlOutput::where(client)}, {"files", QJsonArray::fromStringList(files)}, {"wait_ms", waitMs}});
    else
        ctx.out().notice(QStringLiteral("waiting up to %1 s for %2 to fetch %3 file(s); Ctrl-C stops")
                             .arg(waitMs / 1000)
                             .arg(CtlOutput::where(client))
                             .arg(files.size()));
    ctx.waitFor(allFetched, waitMs);
    // The fetching party asks next whether what it holds is right: stay for that answer
    // (a device may not ask at all, so not for long).
    if (allFetched())
        ctx.waitFor(
            [&] { return confirmed >= files.size(); }, int(qBound<qint64>(1, waitMs - waited.elapsed(), 15000)));
    QStringList missing;
    for (const QString& f : qAsConst(files)) {
        if (fetched.contains(f))
            continue;
        missing.append(f);
        if (ctx.out().json())
            ctx.out().result(false, CtlOutput::where(client), f, f);
    }
    // The offer is over: serving tasks still waiting for their party end now, whatever
    // the party does; those that finished write their records.
    ctx.app().servingSessions()->stopAll();
    ctx.app().pool()->waitForDone(5000);
    if (ctx.interrupted())
        return CtlContext::Interrupted;
    if (missing.isEmpty())
        return CtlContext::Success;
    QStringList names;
    for (const QString& f : qAsConst(missing))
        names.append(CtlOutput::escaped(QFileInfo(f).fileName()));
    return ctx.fail(QStringLiteral("not fetched: %1").arg(names.join(QStringLiteral(", "))),
        TaskOutcome::failure(QStringLiteral("%1 did not fetch %2 of %3 within %4 s")
                                 .arg(CtlOutput::where(client))
                                 .arg(missing.size())
                                 .arg(files.size())
                                 .arg(waitMs / 1000)));
}
