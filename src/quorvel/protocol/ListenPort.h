#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

class QUdpSocket;

// Binds the client's listening ports on every address. A program that holds the port on
// every address (another client) keeps it: the port is taken. One that holds it on a
// single address of its own (a simulated device beside the client) does not: both bind,
// and each takes what is sent to its addresses.
class ListenPort {
public:
    static bool bind(QUdpSocket& socket, quint16 port, QString* error);
    // Whether a socket of any process is bound to the port on every IPv4 or IPv6 address.
    static bool heldOnAllAddresses(quint16 port);

    // A UDP socket of any process bound to a port, as the kernel lists it.
    struct Holder {
        QHostAddress address; // AnyIPv4 or AnyIPv6 for every address
        QString uid;
        QString inode;
    };
    static QList<Holder> holders(quint16 port);
};
