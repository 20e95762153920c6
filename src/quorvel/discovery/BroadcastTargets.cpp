#include "quorvel/discovery/BroadcastTargets.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QUdpSocket>

#ifdef __linux__
#include <cstring>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {
// The interface driver's name (ethtool's), empty when it has none to tell.
QString driverOf(const QString& name)
{
#ifdef __linux__
    const QByteArray ifname = name.toLocal8Bit();
    if (ifname.size() >= IFNAMSIZ)
        return QString();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return QString();
    ethtool_drvinfo info;
    std::memset(&info, 0, sizeof info);
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq request;
    std::memset(&request, 0, sizeof request);
    std::memcpy(request.ifr_name, ifname.constData(), size_t(ifname.size()));
    request.ifr_data = reinterpret_cast<char*>(&info);
    const bool ok = ::ioctl(fd, SIOCETHTOOL, &request) == 0;
    ::close(fd);
    if (ok)
        return QString::fromLatin1(info.driver, int(strnlen(info.driver, sizeof info.driver)));
#else
    Q_UNUSED(name)
#endif
    return QString();
}
} // namespace

QString BroadcastTargets::virtualKind(const QString& name)
{
    const QString sys = QStringLiteral("/sys/class/net/") + name;
    if (QFileInfo::exists(sys + QStringLiteral("/bridge")))
        return QStringLiteral("bridge");
    if (QFileInfo::exists(sys + QStringLiteral("/tun_flags")))
        return QStringLiteral("tun/tap");
    QFile uevent(sys + QStringLiteral("/uevent"));
    if (uevent.open(QIODevice::ReadOnly) && uevent.readAll().contains("DEVTYPE=wireguard"))
        return QStringLiteral("wireguard");
    const QString driver = driverOf(name);
    if (driver == QLatin1String("veth"))
        return QStringLiteral("veth");
    if (driver == QLatin1String("bridge"))
        return QStringLiteral("bridge");
    if (driver == QLatin1String("tun"))
        return QStringLiteral("tun/tap");
    if (driver == QLatin1String("wireguard"))
        return QStringLiteral("wireguard");
    if (driver.startsWith(QLatin1String("vboxnet")) || driver.startsWith(QLatin1String("vmnet")))
        return QStringLiteral("vm-host");
    // Where the system says nothing (another platform, no sysfs): by the usual names.
    static const QRegularExpression names(
        QStringLiteral("^(docker\\d|br-[0-9a-f]+|virbr\\d|lxcbr\\d|lxdbr\\d|cni\\d|podman\\d|vboxnet\\d|vmnet\\d|"
                       "veth.*|tun\\d+|tap\\d+|wg\\d+|utun\\d+)$"));
    const QRegularExpressionMatch m = names.match(name);
    if (!m.hasMatch())
        return QString();
    if (name.startsWith(QLatin1String("veth")))
        return QStringLiteral("veth");
    if (name.startsWith(QLatin1String("tun")) || name.startsWith(QLatin1String("tap"))
        || name.startsWith(QLatin1String("utun")))
        return QStringLiteral("tun/tap");
    if (name.startsWith(QLatin1String("wg")))
        return QStringLiteral("wireguard");
    if (name.startsWith(QLatin1String("vbox")) || name.startsWith(QLatin1String("vmnet")))
        return QStringLiteral("vm-host");
    return QStringLiteral("bridge");
}

QStringList BroadcastTargets::parseNames(const QString& text)
{
    return text.split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
}

QList<BroadcastTargets::Interface> BroadcastTargets::survey(const QStringList& named)
{
    // Connecting a UDP socket sends nothing; it shows the address the route picks.
    QUdpSocket probe;
    probe.connectToHost(QHostAddress(QHostAddress::Broadcast), 16020);
    const QHostAddress defaultSource = probe.localAddress();
    QList<Interface> out;
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        if ((nic.flags() & wanted) != wanted || (nic.flags() & QNetworkInterface::IsLoopBack))
            continue;
        Interface i;
        i.name = nic.name();
        for (const QNetworkAddressEntry& entry : nic.addressEntries()) {
            i.defaultRoute = i.defaultRoute || entry.ip() == defaultSource;
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.broadcast().isNull()
                && !i.broadcasts.contains(entry.broadcast()))
                i.broadcasts.append(entry.broadcast());
        }
        if (i.broadcasts.isEmpty())
            continue;
        i.kind = virtualKind(i.name);
        if (!named.isEmpty()) {
            i.used = named.contains(i.name);
            i.why = i.used
                ? QCoreApplication::translate("BroadcastTargets", "在要用的接口之列")
                : QCoreApplication::translate("BroadcastTargets", "不在要用的接口之列 (%1)").arg(named.join(", "));
        } else if (i.defaultRoute) {
            i.used = true;
            i.why = QCoreApplication::translate("BroadcastTargets", "默认路由的接口");
        } else {
            i.used = i.kind.isEmpty();
            i.why = i.used
                ? QCoreApplication::translate("BroadcastTargets", "一个独立的局域网")
                : QCoreApplication::translate("BroadcastTargets", "虚拟接口 (%1); 若要在此广播, 请把它列入要用的接口")
                      .arg(i.kind);
        }
        out.append(i);
    }
    return out;
}

QList<QHostAddress> BroadcastTargets::directed(const QList<Interface>& interfaces)
{
    QList<QHostAddress> targets;
    for (const Interface& i : interfaces) {
        if (!i.used || i.defaultRoute)
            continue;
        for (const QHostAddress& b : i.broadcasts) {
            if (!targets.contains(b))
                targets.append(b);
        }
    }
    return targets;
}

bool BroadcastTargets::limited(const QList<Interface>& interfaces)
{
    for (const Interface& i : interfaces) {
        if (i.defaultRoute)
            return i.used;
    }
    return true;
}
