#pragma once

#include <QHash>
#include <QHostAddress>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include "quorvel/protocol/ProtocolWords.h"

struct SupportEntry {
    QString name;
    int port = 0;

    bool operator==(const SupportEntry& other) const { return name == other.name && port == other.port; }
    bool operator!=(const SupportEntry& other) const { return !(*this == other); }
};

// One device or client as this client knows it. The address is its key in every table.
class ServerContent {
public:
    QHostAddress address;
    int port = ProtocolPort::Discovery;
    QString name;
    QString version;
    QString os;
    QString uuid;
    bool valid = false;
    QString type;
    qint64 lastSeen = 0;
    QStringList supportList;
    QHash<QString, SupportEntry> supportPorts;

    // "NAME : PORT" announces a feature with its port; anything else is a plain feature.
    void addSupport(const QString& text);
    SupportEntry supportPort(const QString& name, bool* found = nullptr) const;

    // Identity only: uuid, address, name and the announced ports. Used to tell whether a
    // re-queried device changed.
    bool operator==(const ServerContent& other) const;
    bool operator!=(const ServerContent& other) const { return !(*this == other); }

    // Registers every record that crosses threads in queued signals.
    static void registerMetaTypes();
};

Q_DECLARE_METATYPE(ServerContent)
