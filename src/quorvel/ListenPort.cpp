#include "ListenPort.h"

#include <QFile>
#include <QUdpSocket>

bool ListenPort::bind(QUdpSocket& socket, quint16 port, QString* error)
{
    // With address reuse two sockets on every address could both bind; the check keeps
    // a second client off the port.
    if (heldOnAllAddresses(port)) {
        *error = QStringLiteral("another program holds UDP %1 on all addresses").arg(port);
        return false;
    }
    if (socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ReuseAddressHint))
        return true;
    *error = socket.errorString();
    return false;
}

bool ListenPort::heldOnAllAddresses(quint16 port)
{
    // Lines of /proc/net/udp{,6}: "sl local_address:port ...", the address in hex.
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        file.readLine();
        while (!file.atEnd()) {
            const QList<QByteArray> fields = file.readLine().simplified().split(' ');
            const QList<QByteArray> local = fields.value(1).split(':');
            if (local.size() == 2 && local.at(1).toUInt(nullptr, 16) == port
                && local.at(0).count('0') == local.at(0).size())
                return true;
        }
    }
    return false;
}
