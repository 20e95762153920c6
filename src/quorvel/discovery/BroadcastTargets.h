#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

// Where a discovery pass broadcasts. 255.255.255.255 leaves by the default route's
// interface only, so every other up IPv4 LAN gets the query at its own broadcast address.
// Virtual interfaces (container and VM bridges, veth, tun/tap, WireGuard) lead to no
// conference room and are skipped, unless interfaces are named: then exactly those are
// used. The default route's interface is used whatever it is when none are named: it is
// the system's own choice (a container, or the test namespaces, sit on a veth).
class BroadcastTargets {
public:
    struct Interface {
        QString name;
        QString kind; // "bridge", "veth", "tun/tap", "wireguard", "vm-host" or empty (physical)
        QList<QHostAddress> broadcasts; // its IPv4 broadcast addresses
        bool defaultRoute = false;
        bool used = false;
        QString why; // why it is used or skipped, for a person
    };

    // Every up IPv4 interface that can broadcast (loopback aside) and what is done with it.
    static QList<Interface> survey(const QStringList& named);
    // The directed broadcast addresses to send to besides 255.255.255.255.
    static QList<QHostAddress> directed(const QList<Interface>& interfaces);
    // Whether 255.255.255.255 goes out (false when its interface is skipped).
    static bool limited(const QList<Interface>& interfaces);
    // The kind of a virtual interface, empty for a physical one (or an unknown kind).
    static QString virtualKind(const QString& name);
    // "eth0, wlan0" (commas or spaces) as a list.
    static QStringList parseNames(const QString& text);
};
