#pragma once

#include <QList>

#include "quorvel/protocol/ServerContent.h"

class QuorvelClientDatabase;

// The devices this client has heard from, as the database remembers them for discovery
// (who answered at which address and port, under which name and uuid, and when). It
// lets `history` name a device that is off-line, and near misses of a name be suggested.
class DeviceMemory {
public:
    // database: the application's (null: nothing is remembered); it outlives the memory.
    explicit DeviceMemory(QuorvelClientDatabase* database);

    void remember(const ServerContent& device);
    // By "ADDRESS", "ADDRESS:PORT" (already split by the caller), name (any case) or uuid.
    bool recall(const QHostAddress& address, int port, ServerContent* device) const;
    bool recall(const QString& nameOrUuid, ServerContent* device) const;
    // Every device by that name (any case) or uuid, each where it was last seen, the
    // most recently seen first.
    QList<ServerContent> named(const QString& nameOrUuid) const;
    // The most recently seen first.
    QList<ServerContent> all() const;

private:
    QuorvelClientDatabase* m_database;
};
