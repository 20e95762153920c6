#pragma once

#include <QList>

#include "quorvel/protocol/ServerContent.h"

// The devices this program has heard from, kept in the client's database beside the
// history: who answered at which address and port, under which name and uuid. It lets
// `history` name a device that is off-line, and near misses of a name be suggested.
class DeviceMemory {
public:
    DeviceMemory();
    ~DeviceMemory();

    void remember(const ServerContent& device);
    // By "ADDRESS", "ADDRESS:PORT" (already split by the caller), name (any case) or uuid.
    bool recall(const QHostAddress& address, int port, ServerContent* device) const;
    bool recall(const QString& nameOrUuid, ServerContent* device) const;
    // Every device by that name (any case) or uuid, each where it was last seen, the
    // most recently seen first.
    QList<ServerContent> named(const QString& nameOrUuid) const;
    QList<ServerContent> all() const;

private:
    bool m_open = false;
};
