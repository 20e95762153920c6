#include "quorvel/protocol/ListenPort.h"

#include <QCoreApplication>
#include <QFile>
#include <QUdpSocket>
#include <cstring>

namespace {
// An address of /proc/net/udp{,6}: the hex of the raw bytes, printed 32 bits at a time
// in host order.
QHostAddress procAddress(const QString& hex)
{
    quint8 bytes[16] = {};
    const int words = hex.size() / 8;
    if (words != 1 && words != 4)
        return QHostAddress();
    for (int i = 0; i < words; ++i) {
        const quint32 word = hex.mid(i * 8, 8).toUInt(nullptr, 16);
        memcpy(bytes + 4 * i, &word, 4);
    }
    if (words == 1)
        return QHostAddress(quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3]);
    const QHostAddress v6(bytes);
    bool mapped = false;
    const quint32 v4 = v6.toIPv4Address(&mapped);
    return mapped ? QHostAddress(v4) : v6;
}
} // namespace

bool ListenPort::bind(QUdpSocket& socket, quint16 port, QString* error)
{
    // With address reuse two sockets on every address could both bind; the check keeps
    // a second client off the port.
    if (heldOnAllAddresses(port)) {
        *error = QCoreApplication::translate("ListenPort", "另一个程序占用了所有地址上的 UDP %1").arg(port);
        return false;
    }
    if (socket.bind(QHostAddress::AnyIPv4, port, QUdpSocket::ReuseAddressHint))
        return true;
    *error = socket.errorString();
    return false;
}

bool ListenPort::heldOnAllAddresses(quint16 port)
{
    for (const Holder& holder : holders(port)) {
        if (holder.address == QHostAddress::AnyIPv4 || holder.address == QHostAddress::AnyIPv6)
            return true;
    }
    return false;
}

QList<ListenPort::Holder> ListenPort::holders(quint16 port)
{
    QList<Holder> found;
    // Lines of /proc/net/udp{,6}: "sl local_address:port rem_address st ... uid timeout
    // inode", the address in hex.
    for (const char* table : {"/proc/net/udp", "/proc/net/udp6"}) {
        QFile file(QString::fromLatin1(table));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        file.readLine(); // the header
        while (!file.atEnd()) {
            const QStringList f = QString::fromLatin1(file.readLine()).split(' ', Qt::SkipEmptyParts);
            const QStringList local = f.value(1).split(':');
            if (f.size() >= 10 && local.size() == 2 && local.at(1).toUInt(nullptr, 16) == port)
                found.append({procAddress(local.at(0)), f.at(7), f.at(9)});
        }
    }
    return found;
}
