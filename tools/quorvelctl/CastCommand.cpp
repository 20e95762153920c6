#include "CastCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <memory>
#include <unistd.h>

#include "CtlContext.h"
#include "CtlOutput.h"
#include "cast/CastSession.h"
#include "quorvel/tasks/Timing.h"

int CastCommand::cast(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp",
        "把本机屏幕投射到设备: 商定投射 (在这里询问确认和密码), 启动投射程序并控制它. 运行期间键入 p (暂停), r (继续), "
        "a "
        "(宽高比) 或 s (停止)."));
    p.addPositionalArgument("DEVICE", QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT 或名称."));
    p.addOption({"size", QCoreApplication::translate("CtlHelp", "要通告的屏幕尺寸."), "WxH", "1920x1080"});
    int exit = 0;
    if (!ctx.parse(p, args, 1, 1, &exit))
        return exit;
    const QStringList size = p.value("size").split(QLatin1Char('x'));
    const QSize screen(size.value(0).toInt(), size.value(1).toInt());
    if (size.size() != 2 || screen.isEmpty())
        return ctx.usage(QStringLiteral("--size takes WIDTHxHEIGHT, not \"%1\"").arg(p.value("size")));
    ServerContent device;
    bool answered = false;
    if (!ctx.resolve(p.positionalArguments().at(0), true, &device, &answered))
        return ctx.unresolved();
    // What it casts with is announced in its answer: without one there is nothing to ask.
    if (!answered)
        return ctx.fail(QStringLiteral("no cast"),
            TaskOutcome::failure(TaskOutcome::noAnswer(device, Timing::current().infoReplyWaitMs)));

    CastSession& session = ctx.cast();
    CtlOutput& out = ctx.out();
    const auto state = [&out, &device](const char* what) {
        if (out.json())
            out.event("cast", {{"device", CtlOutput::where(device)}, {"state", what}});
        else
            out.line(QString::fromLatin1(what));
    };
    auto end = std::make_shared<TaskOutcome>();
    auto ended = std::make_shared<bool>(false);
    QObject scope;
    QObject::connect(&session, &CastSession::casting, &scope, [&state] { state("casting"); });
    QObject::connect(&session, &CastSession::paused, &scope, [&state] { state("paused"); });
    QObject::connect(&session, &CastSession::resumed, &scope, [&state] { state("resumed"); });
    QObject::connect(&session, &CastSession::disconnected, &scope, [&state] { state("disconnected"); });
    QObject::connect(&session, &CastSession::ended, &scope, [end, ended](const TaskOutcome& o) {
        *end = o;
        *ended = true;
    });
    // Keys steer the casting program once it runs; before that, standard input answers
    // the negotiation's questions.
    QSocketNotifier keys(STDIN_FILENO, QSocketNotifier::Read);
    keys.setEnabled(false);
    QObject::connect(&session, &CastSession::casting, &scope, [&keys] { keys.setEnabled(true); });
    QObject::connect(&keys, &QSocketNotifier::activated, &scope, [&keys, &session] {
        char c = 0;
        if (::read(STDIN_FILENO, &c, 1) != 1) {
            keys.setEnabled(false);
            return;
        }
        switch (c) {
        case 'p': session.pause(); break;
        case 'r': session.resume(); break;
        case 'a': session.changeAspectRatio(); break;
        case 's': session.stop(); break;
        default: break;
        }
    });
    session.start(device, screen);
    if (!ctx.waitFor([&] { return *ended; })) {
        // Interrupted: the casting program is asked to stop, and ended if it does not.
        session.quit();
        ctx.waitFor([&] { return *ended; }, 2000, false);
        if (*ended)
            state("ended");
        return CtlContext::Interrupted;
    }
    if (!end->ok)
        return ctx.fail(QStringLiteral("no cast to %1").arg(TaskOutcome::who(device)), *end);
    state("ended");
    return CtlContext::Success;
}
