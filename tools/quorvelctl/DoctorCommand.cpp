#include "DoctorCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonObject>

#include "CtlContext.h"
#include "CtlOutput.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryDoctor.h"
#include "quorvel/discovery/DiscoveryServer.h"

int DoctorCommand::doctor(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp",
        "设备为何没有出现: 检查 mDNS, 网络接口, UDP 16020 和 16021, 防火墙, 每个手动添加的设备和一次搜索. "
        "有问题时退出状态为 1."));
    p.addOption({"wait", QCoreApplication::translate("CtlHelp", "让这次搜索监听这么多秒 (默认 3)."), "seconds", "3"});
    int exit = 0;
    int waitMs = 0;
    if (!ctx.parse(p, args, 0, 0, &exit))
        return exit;
    if (!ctx.seconds(p, "wait", &waitMs))
        return CtlContext::Usage;
    DiscoveryDoctor doctor(ctx.app().discovery(), waitMs);
    QObject::connect(&doctor, &DiscoveryDoctor::found, ctx.anchor(), [&ctx](const DiscoveryDoctor::Finding& f) {
        if (ctx.out().json()) {
            ctx.out().event("finding", {{"check", f.check}, {"ok", f.ok}, {"detail", f.detail}, {"advice", f.advice}});
            return;
        }
        const QString line = QStringLiteral("%1 %2: %3").arg(f.ok ? "ok     " : "PROBLEM", f.check, f.detail);
        ctx.out().line(f.advice.isEmpty() ? line : line + QStringLiteral(" -- ") + f.advice);
    });
    bool ended = false;
    QObject::connect(&doctor, &DiscoveryDoctor::finished, ctx.anchor(), [&ended] { ended = true; });
    doctor.start();
    // Not cut short by --timeout: each check is bounded; an interruption stops at once.
    if (!ctx.waitFor([&ended] { return ended; }, 0x7fffffff))
        return ctx.interrupted() ? CtlContext::Interrupted : CtlContext::Failure;
    return doctor.allOk() ? CtlContext::Success : CtlContext::Failure;
}
