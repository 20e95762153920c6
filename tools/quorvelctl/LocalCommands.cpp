#include "LocalCommands.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QJsonObject>

#include "Config.h"
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
} // namespace

int LocalCommands::history(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The transfers with a device, newest first."));
    p.addPositionalArgument("DEVICE", "IP address, name or uuid.");
    int exit = 0;
    if (!ctx.parse(p, args, 1, 1, &exit))
        return exit;
    const QString which = p.positionalArguments().at(0);
    QuorvelClientDatabase* db = QuorvelClientDatabase::instance();
    QString uuid = which; // a uuid, or a name or address the device answers to
    if (!QHostAddress(which).isNull()) {
        ServerContent device;
        ctx.resolve(which, true, &device);
        if (device.uuid.isEmpty())
            return ctx.fail(QStringLiteral("%1 did not say who it is").arg(which));
        uuid = device.uuid;
    } else if (db->getRecentFiles(uuid).isEmpty()) {
        ServerContent device;
        if (ctx.resolve(which, true, &device))
            uuid = device.uuid;
    }
    for (const RecentFilesContent& r : db->getRecentFiles(uuid)) {
        if (ctx.out().json()) {
            ctx.out().object({{"event", "record"}, {"type", r.type}, {"remote", r.remotePath}, {"file", r.nativePath},
                {"operate_time", double(r.operateTime)}, {"date_modified", double(r.dateModified)}});
        } else {
            ctx.out().line(QStringLiteral("%1\t%2\t%3\t%4")
                               .arg(QDateTime::fromMSecsSinceEpoch(r.operateTime).toString(Qt::ISODate), r.type,
                                   r.remotePath, r.nativePath));
        }
    }
    return CtlContext::Success;
}

int LocalCommands::devices(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The hand-added devices: devices add ADDRESS [PORT], devices rm "
                                               "ADDRESS PORT, devices ls."));
    p.addPositionalArgument("ACTION", "add, rm or ls.");
    int exit = 0;
    if (!ctx.parse(p, args, 1, 3, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    QuorvelClientDatabase* db = QuorvelClientDatabase::instance();
    const QString action = pos.at(0);
    if (action == QLatin1String("ls") && pos.size() == 1) {
        for (const ServerContent& d : db->getManualDevices()) {
            if (ctx.out().json())
                ctx.out().object({{"event", "device"}, {"address", d.address.toString()}, {"port", d.port}});
            else
                ctx.out().line(QStringLiteral("%1\t%2").arg(d.address.toString()).arg(d.port));
        }
        return CtlContext::Success;
    }
    const bool add = action == QLatin1String("add") && pos.size() >= 2;
    if (!add && !(action == QLatin1String("rm") && pos.size() == 3))
        return ctx.usage(QStringLiteral("usage: devices add ADDRESS [PORT] | devices rm ADDRESS PORT | devices ls"));
    ServerContent d;
    d.address = QHostAddress(pos.at(1));
    bool ok = true;
    d.port = pos.size() > 2 ? pos.at(2).toInt(&ok) : DiscoveryServer::QueryPort;
    if (d.address.isNull() || !ok || d.port <= 0 || d.port > 65535)
        return ctx.usage(QStringLiteral("bad address or port"));
    if (add) {
        for (const ServerContent& existing : db->getManualDevices()) {
            if (existing.address == d.address)
                return ctx.fail(QStringLiteral("%1 is added already").arg(d.address.toString()));
        }
        if (!db->addManualDevice(d))
            return ctx.fail(
                QStringLiteral("cannot add %1").arg(d.address.toString()), TaskOutcome::failure(db->lastError()));
    } else if (!db->removeManualDevice(d)) {
        return ctx.fail(
            QStringLiteral("cannot remove %1").arg(d.address.toString()), TaskOutcome::failure(db->lastError()));
    }
    if (ctx.out().json())
        ctx.out().object({{"event", "result"}, {"command", "devices " + action}, {"ok", true}});
    return CtlContext::Success;
}

int LocalCommands::config(CtlContext& ctx, const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Read or change a setting: config get KEY, config set KEY VALUE. Keys: ClientName, SecureMode, "
                       "DownloadPath, ConfirmCast, LastSelectedServerUUID, StartUp, CastShortcut."));
    p.addPositionalArgument("ACTION", "get or set.");
    int exit = 0;
    if (!ctx.parse(p, args, 2, 3, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    const int type = configType(pos.at(1));
    if (type < 0)
        return ctx.usage(QStringLiteral("unknown setting \"%1\"").arg(pos.at(1)));
    Config* c = Config::instance();
    if (pos.at(0) == QLatin1String("get") && pos.size() == 2) {
        const QVariant v = c->value(type);
        if (ctx.out().json())
            ctx.out().object(
                {{"event", "setting"}, {"key", Config::keyOf(type)}, {"value", QJsonValue::fromVariant(v)}});
        else
            ctx.out().line(v.userType() == QMetaType::Bool ? (v.toBool() ? "true" : "false") : v.toString());
        return CtlContext::Success;
    }
    if (pos.at(0) != QLatin1String("set") || pos.size() != 3)
        return ctx.usage(QStringLiteral("usage: config get KEY | config set KEY VALUE"));
    QVariant value = pos.at(2);
    if (Config::defaultOf(type).userType() == QMetaType::Bool) {
        const QString t = pos.at(2).toLower();
        if (t != "true" && t != "false" && t != "1" && t != "0")
            return ctx.usage(QStringLiteral("%1 takes true or false").arg(Config::keyOf(type)));
        value = t == "true" || t == "1";
    }
    if (!c->setValue(type, value))
        return ctx.fail(QStringLiteral("cannot set %1 to \"%2\"").arg(Config::keyOf(type), pos.at(2)),
            TaskOutcome::failure(c->lastError()));
    if (ctx.out().json())
        ctx.out().object({{"event", "result"}, {"command", "config set"}, {"ok", true}});
    return CtlContext::Success;
}
