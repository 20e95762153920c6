#include "LocalCommands.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QJsonObject>

#include "Config.h"
#include "ConfigCheck.h"
#include "CtlContext.h"
#include "CtlOutput.h"
#include "QuorvelClientDatabase.h"
#include "quorvel/discovery/DiscoveryServer.h"

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
    QString text = QStringLiteral("Keys (any case):");
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
    p.setApplicationDescription(QStringLiteral(
        "The transfers with a device, newest first, from the local database: a device this program has heard "
        "from is found while it is off-line."));
    p.addPositionalArgument("DEVICE", "ADDRESS, ADDRESS:PORT, name or uuid.");
    int exit = 0;
    if (!ctx.parse(p, args, 1, 1, &exit))
        return exit;
    const QString which = p.positionalArguments().at(0);
    QuorvelClientDatabase* db = QuorvelClientDatabase::instance();
    ServerContent device;
    QHostAddress address;
    int port = 0;
    // What this program remembers first: the device need not be on-line for its history.
    bool known = CtlContext::parseAddress(which, &address, &port) ? ctx.memory().recall(address, port, &device)
                                                                  : ctx.memory().recall(which, &device);
    if (!known && !db->getRecentFiles(which).isEmpty()) {
        device.uuid = which;
        known = true;
    }
    if (!known) {
        if (!ctx.resolve(which, true, &device))
            return CtlContext::Failure;
        if (device.uuid.isEmpty())
            return ctx.fail(QStringLiteral("%1 did not say who it is, and it is not known here").arg(which));
    }
    for (const RecentFilesContent& r : db->getRecentFiles(device.uuid)) {
        if (ctx.out().json()) {
            ctx.out().event("record",
                {{"transfer", r.type}, {"device", device.uuid}, {"remote", r.remotePath}, {"file", r.nativePath},
                    {"time_ms", double(r.operateTime)}, {"modified_ms", double(r.dateModified)}});
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
    p.setApplicationDescription(QStringLiteral(
        "The hand-added devices, asked at every discovery pass. devices add ADDRESS[:PORT] (port 16020 by default), "
        "devices rm ADDRESS[:PORT] (the port may be left out when one entry has the address), devices ls."));
    p.addPositionalArgument("ACTION", "add, rm or ls.");
    p.addPositionalArgument("ADDRESS", "ADDRESS or ADDRESS:PORT (add and rm).", "[ADDRESS[:PORT]]");
    int exit = 0;
    if (!ctx.parse(p, args, 1, 2, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    QuorvelClientDatabase* db = QuorvelClientDatabase::instance();
    const QString action = pos.at(0);
    if (action != QLatin1String("ls") && action != QLatin1String("add") && action != QLatin1String("rm"))
        return ctx.usage(QStringLiteral("unknown action \"%1\"; use add, rm or ls").arg(action));
    ctx.out().setCommand(QStringLiteral("devices-") + action);
    if (action == QLatin1String("ls")) {
        if (pos.size() != 1)
            return ctx.usage(QStringLiteral("devices ls takes no address"));
        for (const ServerContent& d : db->getManualDevices()) {
            if (ctx.out().json())
                ctx.out().event("device", CtlOutput::deviceJson(d, QStringLiteral("manual")));
            else
                ctx.out().line(CtlOutput::where(d));
        }
        return CtlContext::Success;
    }
    if (pos.size() != 2)
        return ctx.usage(QStringLiteral("devices %1 needs ADDRESS[:PORT]").arg(action));
    ServerContent d;
    if (!CtlContext::parseAddress(pos.at(1), &d.address, &d.port))
        return ctx.usage(QStringLiteral("\"%1\" is no ADDRESS or ADDRESS:PORT").arg(pos.at(1)));
    const bool portGiven = QHostAddress(pos.at(1)).isNull();
    // One entry per address (a second port would be a second device at one address).
    QList<ServerContent> same;
    for (const ServerContent& existing : db->getManualDevices()) {
        if (existing.address.isEqual(d.address, QHostAddress::TolerantConversion)
            && (!portGiven || existing.port == d.port || action == QLatin1String("add")))
            same.append(existing);
    }
    if (action == QLatin1String("add")) {
        if (!same.isEmpty())
            return ctx.fail(QStringLiteral("%1 is added already").arg(CtlOutput::where(same.first())));
        if (!db->addManualDevice(d))
            return ctx.fail(
                QStringLiteral("cannot add %1").arg(CtlOutput::where(d)), TaskOutcome::failure(db->lastError()));
    } else {
        if (same.isEmpty())
            return ctx.fail(QStringLiteral("%1 is not among the hand-added devices").arg(pos.at(1)));
        if (same.size() > 1)
            return ctx.usage(
                QStringLiteral("%1 is added with several ports; say which: %2:PORT").arg(pos.at(1), pos.at(1)));
        d = same.first();
        if (!db->removeManualDevice(d))
            return ctx.fail(
                QStringLiteral("cannot remove %1").arg(CtlOutput::where(d)), TaskOutcome::failure(db->lastError()));
    }
    if (ctx.out().json())
        ctx.out().result(true, CtlOutput::where(d));
    else
        ctx.out().line(
            QString::fromLatin1(action == QLatin1String("add") ? "added %1" : "removed %1").arg(CtlOutput::where(d)));
    return CtlContext::Success;
}

int LocalCommands::config(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Read or change a setting: config get KEY, config set KEY VALUE, config ls. A value is "
                       "checked as the settings dialog checks it before it is stored.\n")
        + keysHelp());
    p.addPositionalArgument("ACTION", "get, set or ls.");
    p.addPositionalArgument("KEY", "A key (get and set).", "[KEY [VALUE]]");
    int exit = 0;
    if (!ctx.parse(p, args, 1, 3, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    const QString action = pos.at(0);
    const int wanted = action == QLatin1String("ls") ? 1
        : action == QLatin1String("get")             ? 2
        : action == QLatin1String("set")             ? 3
                                                     : 0;
    if (!wanted)
        return ctx.usage(QStringLiteral("unknown action \"%1\"; use get, set or ls").arg(action));
    if (pos.size() != wanted)
        return ctx.usage(QStringLiteral("config %1 takes %2")
                             .arg(action,
                                 wanted == 1       ? "nothing more"
                                     : wanted == 2 ? "KEY"
                                                   : "KEY VALUE"));
    ctx.out().setCommand(QStringLiteral("config-") + action);
    Config* c = Config::instance();
    QList<int> types;
    if (wanted == 1) {
        for (int type = Config::ClientName; type <= Config::CastShortcut; ++type)
            types.append(type);
    } else {
        types.append(configType(pos.at(1)));
        if (types.first() < 0)
            return ctx.usage(QStringLiteral("unknown setting \"%1\"; config --help lists them").arg(pos.at(1)));
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
    if (!refused.isEmpty())
        return ctx.usage(refused);
    if (!c->setValue(type, value))
        return ctx.fail(QStringLiteral("cannot set %1 to \"%2\"").arg(Config::keyOf(type), pos.at(2)),
            TaskOutcome::failure(c->lastError()));
    if (ctx.out().json())
        ctx.out().event("setting", {{"key", Config::keyOf(type)}, {"value", settingJson(c->value(type))}});
    return CtlContext::Success;
}
