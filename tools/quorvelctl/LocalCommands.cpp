#include "LocalCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QJsonObject>
#include <QRegularExpression>

#include "CtlContext.h"
#include "CtlOutput.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "settings/Config.h"
#include "settings/ConfigCheck.h"

namespace {
int configType(const QString& key)
{
    for (int type = Config::ClientName; type <= Config::CastShortcut; ++type) {
        if (Config::keyOf(type).compare(key, Qt::CaseInsensitive) == 0)
            return type;
    }
    return -1;
}

QString keysHelp()
{
    QString text = QCoreApplication::translate("CtlHelp", "键 (不分大小写):");
    for (int type = Config::ClientName; type <= Config::CastShortcut; ++type)
        text += QStringLiteral("\n  %1  %2").arg(Config::keyOf(type), -22).arg(ConfigCheck::describe(type));
    return text;
}

QJsonValue settingJson(const QVariant& v)
{
    return v.userType() == QMetaType::Bool ? QJsonValue(v.toBool()) : QJsonValue(v.toString());
}

QString settingText(const QVariant& v)
{
    return v.userType() == QMetaType::Bool ? QString::fromLatin1(v.toBool() ? "true" : "false") : v.toString();
}
} // namespace

int LocalCommands::history(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate(
        "CtlHelp", "与一台设备的传输记录, 最新的在前, 取自本地数据库: 本程序联系过的设备离线时也能找到."));
    p.addPositionalArgument("DEVICE", QCoreApplication::translate("CtlHelp", "ADDRESS, ADDRESS:PORT, 名称或 uuid."));
    int exit = 0;
    if (!ctx.parse(p, args, 1, 1, &exit))
        return exit;
    const QString which = p.positionalArguments().at(0);
    QuorvelClientDatabase* db = ctx.app().database();
    ServerContent device;
    QHostAddress address;
    int port = 0;
    // What this program remembers first: the device need not be on-line for its history.
    const CtlContext::Address parsed = CtlContext::parseAddress(which, &address, &port);
    if (parsed == CtlContext::Address::BadPort)
        return ctx.usage(QStringLiteral("\"%1\": a port is a whole number from 1 to 65535").arg(which));
    bool known = parsed == CtlContext::Address::Valid ? ctx.memory().recall(address, port, &device)
                                                      : ctx.memory().recall(which, &device);
    if (!known && !db->getRecentFiles(which).isEmpty()) {
        device.uuid = which;
        known = true;
    }
    // An earlier address of the same device names it as well as any.
    if (known && device.address.isNull())
        ctx.memory().recall(device.uuid, &device);
    if (!known) {
        if (!ctx.resolve(which, true, &device))
            return ctx.unresolved();
        if (device.uuid.isEmpty())
            return ctx.fail(QStringLiteral("%1 did not say who it is, and it is not known here").arg(which));
    }
    for (const RecentFilesContent& r : db->getRecentFiles(device.uuid)) {
        if (ctx.out().json()) {
            ctx.out().event("record",
                {{"transfer", r.type}, {"device", device.address.isNull() ? QString() : CtlOutput::where(device)},
                    {"remote", r.remotePath}, {"file", r.nativePath}, {"time_ms", double(r.operateTime)},
                    {"modified_ms", double(r.dateModified)}});
        } else {
            ctx.out().line(QStringLiteral("%1\t%2\t%3\t%4")
                               .arg(QDateTime::fromMSecsSinceEpoch(r.operateTime).toString(Qt::ISODate), r.type,
                                   CtlOutput::escaped(r.remotePath), CtlOutput::escaped(r.nativePath)));
        }
    }
    return CtlContext::Success;
}

int LocalCommands::devices(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp",
        "手动添加的设备, 每次搜索都会询问. devices add ADDRESS[:PORT], HOST[:PORT] "
        "(每次搜索都重新解析该名称) 或 IPv4 网段, 如 198.51.100.0/24 (最大 /22; 每个地址都会询问, 每秒 500 "
        "个) (默认端口 16020; 每项一条), devices rm 同样的写法 (只有一项是该地址时可省略端口), devices ls "
        "(也可只写 devices)."));
    p.addPositionalArgument("ACTION", QCoreApplication::translate("CtlHelp", "add, rm 或 ls (默认)."), "[ACTION]");
    p.addPositionalArgument("ADDRESS",
        QCoreApplication::translate("CtlHelp", "ADDRESS[:PORT], HOST[:PORT] 或 RANGE (add 和 rm)."),
        "[ADDRESS[:PORT]|HOST[:PORT]|RANGE]");
    int exit = 0;
    if (!ctx.parse(p, args, 0, 2, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    QuorvelClientDatabase* db = ctx.app().database();
    const QString action = pos.value(0, QStringLiteral("ls"));
    const QStringList actions{"add", "rm", "ls"};
    if (!actions.contains(action))
        return ctx.usage(QStringLiteral("unknown action \"%1\"; use add, rm or ls%2")
                             .arg(action, CtlContext::didYouMean(action, actions)));
    ctx.out().setCommand(QStringLiteral("devices-") + action);
    if (action == QLatin1String("ls")) {
        if (pos.size() > 1)
            return ctx.usage(QStringLiteral("devices ls takes no address"));
        for (const ManualTarget& t : db->getManualTargets()) {
            if (t.kind() != ManualTarget::Address) {
                // A host name or range is no device of its own: the text names it.
                if (ctx.out().json())
                    ctx.out().event("manual",
                        {{"target", t.display()}, {"kind", t.kind() == ManualTarget::Host ? "host" : "range"}});
                else
                    ctx.out().line(t.display());
                continue;
            }
            ServerContent d;
            d.address = t.address();
            d.port = t.port();
            // What the device last said of itself, when it said something.
            ServerContent known;
            if (ctx.memory().recall(d.address, d.port, &known))
                d = known;
            if (ctx.out().json())
                ctx.out().event("device", CtlOutput::deviceJson(d, QStringLiteral("manual")));
            else
                ctx.out().line(d.name.isEmpty()
                        ? CtlOutput::where(d)
                        : QStringLiteral("%1\t%2").arg(CtlOutput::where(d), CtlOutput::escaped(d.name)));
        }
        return CtlContext::Success;
    }
    if (pos.size() != 2)
        return ctx.usage(QStringLiteral("devices %1 needs ADDRESS[:PORT], HOST[:PORT] or a range").arg(action));
    const QString which = pos.at(1);
    const bool add = action == QLatin1String("add");
    QString why;
    const ManualTarget target = ManualTarget::parse(which, DiscoveryServer::QueryPort, &why);
    if (!target.isValid())
        return ctx.usage(why);
    QHostAddress resolved;
    if (add && target.kind() == ManualTarget::Host && !ctx.lookUpHost(target.text(), &resolved, &why))
        return ctx.usage(QStringLiteral("\"%1\" is no ADDRESS[:PORT], known host name or IPv4 range (%2)")
                             .arg(which, why.isEmpty() ? QStringLiteral("it does not resolve") : why));
    // An address or host typed without a port stands for every entry of it (rm); the
    // database keeps one entry per address, host name or range.
    const bool portGiven = target.kind() != ManualTarget::Range && which.contains(QRegularExpression(":\\d+$"))
        && QHostAddress(which).isNull();
    QList<ManualTarget> same;
    for (const ManualTarget& existing : db->getManualTargets()) {
        const bool sameText = existing.kind() == target.kind()
            && (existing.kind() == ManualTarget::Address
                    ? existing.address().isEqual(target.address(), QHostAddress::TolerantConversion)
                    : existing.text() == target.text());
        if (sameText && (!portGiven || existing.port() == target.port() || add))
            same.append(existing);
    }
    ManualTarget done = target;
    if (add) {
        if (!same.isEmpty())
            return ctx.fail(QStringLiteral("%1 is added already").arg(same.first().display()));
        if (!db->addManualTarget(target))
            return ctx.fail(
                QStringLiteral("cannot add %1").arg(target.display()), TaskOutcome::failure(db->lastError()));
        if (target.kind() != ManualTarget::Range) {
            // Asked once now, so that it is known by name (and listed with it) at once.
            ServerContent described;
            bool answered = false;
            const QHostAddress at = target.kind() == ManualTarget::Host ? resolved : target.address();
            ctx.resolve(
                QStringLiteral("%1:%2")
                    .arg(at.protocol() == QAbstractSocket::IPv6Protocol ? "[" + at.toString() + "]" : at.toString())
                    .arg(target.port()),
                true, &described, &answered);
            if (!answered)
                ctx.out().warning(
                    QStringLiteral("%1 did not answer; it stays added and is asked at every discovery pass")
                        .arg(target.display()));
        }
    } else {
        if (same.isEmpty())
            return ctx.fail(QStringLiteral("%1 is not among the hand-added devices").arg(which));
        if (same.size() > 1)
            return ctx.usage(QStringLiteral("%1 is added with several ports; say which: %2:PORT").arg(which, which));
        done = same.first();
        if (!db->removeManualTarget(done))
            return ctx.fail(
                QStringLiteral("cannot remove %1").arg(done.display()), TaskOutcome::failure(db->lastError()));
    }
    // A host name or range is no ADDRESS:PORT: named in an event of its own.
    if (ctx.out().json() && done.kind() != ManualTarget::Address)
        ctx.out().event(
            "manual", {{"target", done.display()}, {"kind", done.kind() == ManualTarget::Host ? "host" : "range"}});
    if (ctx.out().json())
        ctx.out().result(true, done.kind() == ManualTarget::Address ? done.display() : QString());
    else
        ctx.out().line(QString::fromLatin1(add ? "added %1" : "removed %1").arg(done.display()));
    return CtlContext::Success;
}

int LocalCommands::config(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QCoreApplication::translate("CtlHelp",
                                    "读取或更改一项设置: config get KEY, config set KEY VALUE, config unset KEY "
                                    "(恢复默认值), config ls. 值在保存前按设置对话框的规则检查; LastSelectedServerUUID "
                                    "接受本程序联系过的设备的 uuid.\n")
        + keysHelp());
    p.addPositionalArgument("ACTION", QCoreApplication::translate("CtlHelp", "get, set, unset 或 ls."));
    p.addPositionalArgument(
        "KEY", QCoreApplication::translate("CtlHelp", "一个键 (get, set 和 unset)."), "[KEY [VALUE]]");
    int exit = 0;
    if (!ctx.parse(p, args, 1, 3, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    const QString action = pos.at(0);
    const QStringList actions{"ls", "get", "set", "unset"};
    const int wanted = action == QLatin1String("ls")                         ? 1
        : action == QLatin1String("get") || action == QLatin1String("unset") ? 2
        : action == QLatin1String("set")                                     ? 3
                                                                             : 0;
    if (!wanted)
        return ctx.usage(QStringLiteral("unknown action \"%1\"; use get, set, unset or ls%2")
                             .arg(action, CtlContext::didYouMean(action, actions)));
    if (pos.size() != wanted)
        return ctx.usage(QStringLiteral("config %1 takes %2")
                             .arg(action,
                                 wanted == 1       ? "nothing more"
                                     : wanted == 2 ? "KEY"
                                                   : "KEY VALUE"));
    ctx.out().setCommand(QStringLiteral("config-") + action);
    Config* c = ctx.app().config();
    QList<int> types;
    if (wanted == 1) {
        for (int type = Config::ClientName; type <= Config::CastShortcut; ++type)
            types.append(type);
    } else {
        types.append(configType(pos.at(1)));
        if (types.first() < 0) {
            QStringList keys;
            for (int type = Config::ClientName; type <= Config::CastShortcut; ++type)
                keys.append(Config::keyOf(type));
            return ctx.usage(QStringLiteral("unknown setting \"%1\"%2; config --help lists them")
                                 .arg(pos.at(1), CtlContext::didYouMean(pos.at(1), keys)));
        }
    }
    if (action == QLatin1String("unset")) {
        const int type = types.first();
        if (!c->unset(type))
            return ctx.fail(
                QStringLiteral("cannot unset %1").arg(Config::keyOf(type)), TaskOutcome::failure(c->lastError()));
        if (ctx.out().json())
            ctx.out().event("setting", {{"key", Config::keyOf(type)}, {"value", settingJson(c->value(type))}});
        return CtlContext::Success;
    }
    if (wanted < 3) {
        for (int type : qAsConst(types)) {
            const QVariant v = c->value(type);
            if (ctx.out().json())
                ctx.out().event("setting", {{"key", Config::keyOf(type)}, {"value", settingJson(v)}});
            else
                ctx.out().line(wanted == 1 ? Config::keyOf(type) + QLatin1Char('=') + settingText(v) : settingText(v));
        }
        return CtlContext::Success;
    }
    const int type = types.first();
    QString refused;
    const QVariant value = ConfigCheck::fromText(type, pos.at(2), &refused);
    // The window selects by uuid: one no device has is a selection of nothing.
    if (refused.isEmpty() && type == Config::LastSelectedServerUUID && !pos.at(2).isEmpty()) {
        QStringList uuids;
        for (const ServerContent& s : ctx.memory().all())
            uuids.append(s.uuid);
        if (!uuids.contains(pos.at(2)))
            refused = QStringLiteral("\"%1\" is the uuid of no device this program has heard from (quorvelctl "
                                     "discover lists them)%2")
                          .arg(pos.at(2), CtlContext::didYouMean(pos.at(2), uuids));
    }
    if (!refused.isEmpty())
        return ctx.usage(refused);
    if (!c->setValue(type, value))
        return ctx.fail(QStringLiteral("cannot set %1 to \"%2\"").arg(Config::keyOf(type), pos.at(2)),
            TaskOutcome::failure(c->lastError()));
    if (ctx.out().json())
        ctx.out().event("setting", {{"key", Config::keyOf(type)}, {"value", settingJson(c->value(type))}});
    return CtlContext::Success;
}
