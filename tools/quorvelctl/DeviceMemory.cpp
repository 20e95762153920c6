#include "DeviceMemory.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include "quorvel/storage/QuorvelClientDatabase.h"

namespace {
const char* const Connection = "quorvelctl-memory";

QSqlDatabase db()
{
    return QSqlDatabase::database(QLatin1String(Connection), false);
}
} // namespace

DeviceMemory::DeviceMemory()
{
    QuorvelClientDatabase* store = QuorvelClientDatabase::instance();
    if (!store || !store->isOpen())
        return;
    QSqlDatabase d = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QLatin1String(Connection));
    d.setDatabaseName(store->filePath());
    // What this program remembers of devices is a convenience: a program that keeps the
    // file locked does not hold the command up for it.
    d.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=250"));
    m_open = d.open()
        && QSqlQuery(d).exec(QStringLiteral("CREATE TABLE IF NOT EXISTS tbCtlDevices (ip TEXT, port INTEGER, uuid "
                                            "TEXT, name TEXT, lastSeen INTEGER, PRIMARY KEY (ip, port));"));
    // Added later: what the party is (an older table gains the column, a newer has it).
    if (m_open)
        QSqlQuery(d).exec(QStringLiteral("ALTER TABLE tbCtlDevices ADD COLUMN kind TEXT;"));
}

DeviceMemory::~DeviceMemory()
{
    {
        QSqlDatabase d = db();
        if (d.isValid())
            d.close();
    }
    QSqlDatabase::removeDatabase(QLatin1String(Connection));
}

void DeviceMemory::remember(const ServerContent& device)
{
    if (!m_open || device.uuid.isEmpty())
        return;
    QSqlQuery q(db());
    q.prepare(QStringLiteral(
        "INSERT OR REPLACE INTO tbCtlDevices (ip, port, uuid, name, lastSeen, kind) VALUES (?, ?, ?, ?, ?, ?);"));
    q.addBindValue(device.address.toString());
    q.addBindValue(device.port);
    q.addBindValue(device.uuid);
    q.addBindValue(device.name);
    q.addBindValue(QDateTime::currentMSecsSinceEpoch());
    q.addBindValue(device.type);
    q.exec();
}

QList<ServerContent> DeviceMemory::all() const
{
    QList<ServerContent> out;
    if (!m_open)
        return out;
    QSqlQuery q(db());
    q.exec(QStringLiteral("SELECT ip, port, uuid, name, kind FROM tbCtlDevices ORDER BY lastSeen DESC;"));
    while (q.next()) {
        ServerContent s;
        s.address = QHostAddress(q.value(0).toString());
        s.port = q.value(1).toInt();
        s.uuid = q.value(2).toString();
        s.name = q.value(3).toString();
        s.type = q.value(4).toString();
        out.append(s);
    }
    return out;
}

bool DeviceMemory::recall(const QHostAddress& address, int port, ServerContent* device) const
{
    for (const ServerContent& s : all()) {
        if (s.address.isEqual(address, QHostAddress::TolerantConversion) && s.port == port) {
            *device = s;
            return true;
        }
    }
    return false;
}

bool DeviceMemory::recall(const QString& nameOrUuid, ServerContent* device) const
{
    const QList<ServerContent> found = named(nameOrUuid);
    if (found.isEmpty())
        return false;
    *device = found.first();
    return true;
}

QList<ServerContent> DeviceMemory::named(const QString& nameOrUuid) const
{
    QList<ServerContent> found;
    QStringList uuids;
    for (const ServerContent& s : all()) {
        if ((s.name.compare(nameOrUuid, Qt::CaseInsensitive) == 0 || s.uuid == nameOrUuid) && !uuids.contains(s.uuid)) {
            uuids.append(s.uuid); // a device that moved: where it was last seen
            found.append(s);
        }
    }
    return found;
}
