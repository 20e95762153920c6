#include "DeviceMemory.h"

#include <QDateTime>

#include "quorvel/storage/QuorvelClientDatabase.h"

DeviceMemory::DeviceMemory(QuorvelClientDatabase* database)
    : m_database(database)
{
}

void DeviceMemory::remember(const ServerContent& device)
{
    if (m_database)
        m_database->rememberDevice(device, QDateTime::currentMSecsSinceEpoch());
}

QList<ServerContent> DeviceMemory::all() const
{
    return m_database ? m_database->rememberedDevices(0) : QList<ServerContent>();
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
