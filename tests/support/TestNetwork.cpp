#include "TestNetwork.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <csignal>
#include <unistd.h>

namespace {
int g_networkCounter = 0;
const QString Subnet = QStringLiteral("198.51.100.");
constexpr int FirstHost = 11;

QByteArray dbusConfig(const QString& socketPath)
{
    return QStringLiteral("<busconfig>\n"
                          "  <type>system</type>\n"
                          "  <listen>unix:path=%1</listen>\n"
                          "  <auth>EXTERNAL</auth>\n"
                          "  <policy context=\"default\">\n"
                          "    <allow user=\"*\"/>\n"
                          "    <allow own=\"*\"/>\n"
                          "    <allow send_type=\"method_call\"/>\n"
                          "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                          "    <allow receive_sender=\"*\"/>\n"
                          "  </policy>\n"
                          "</busconfig>\n")
        .arg(socketPath)
        .toUtf8();
}

QByteArray avahiConfig(int host)
{
    return QStringLiteral("[server]\n"
                          "host-name=qvhost-%1\n"
                          "use-ipv4=yes\n"
                          "use-ipv6=no\n"
                          "allow-interfaces=eth0\n"
                          "enable-dbus=yes\n"
                          "ratelimit-interval-usec=0\n"
                          "[wide-area]\n"
                          "enable-wide-area=no\n"
                          "[publish]\n"
                          "publish-workstation=no\n"
                          "publish-hinfo=no\n")
        .arg(host)
        .toUtf8();
}
} // namespace

bool TestNetwork::available(QString* why)
{
    if (geteuid() != 0) {
        *why = QStringLiteral("not root");
        return false;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty()) {
        *why = QStringLiteral("no ip command (iproute2)");
        return false;
    }
    return true;
}

bool TestNetwork::required()
{
    return qEnvironmentVariableIsSet("QUORVEL_REQUIRE_NETNS");
}

bool TestNetwork::sh(const QStringList& command)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.first(), command.mid(1));
    if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        if (m_error.isEmpty())
            m_error = command.join(' ') + ": " + QString::fromLocal8Bit(p.readAll()).trimmed();
        return false;
    }
    return true;
}

TestNetwork::TestNetwork(int hosts, bool withMdns)
{
    QString why;
    if (!available(&why)) {
        m_error = why;
        return;
    }
    m_prefix = QStringLiteral("qvt%1n%2").arg(QCoreApplication::applicationPid()).arg(g_networkCounter++);
    m_switch = m_prefix + QStringLiteral("sw");
    if (!sh({"ip", "netns", "add", m_switch}) || !sh({"ip", "-n", m_switch, "link", "set", "lo", "up"})
        || !sh({"ip", "-n", m_switch, "link", "add", "br0", "type", "bridge"})
        || !sh({"ip", "-n", m_switch, "link", "set", "br0", "up"}))
        return;

    for (int i = 0; i < hosts; ++i) {
        Host host{m_prefix + QStringLiteral("h%1").arg(i), m_dir.path() + QStringLiteral("/host%1").arg(i)};
        m_hosts.append(host);
        const QString port = QStringLiteral("p%1").arg(i);
        const QString ip = Subnet + QString::number(FirstHost + i) + QStringLiteral("/24");
        if (!sh({"ip", "netns", "add", host.ns}) || !sh({"ip", "-n", host.ns, "link", "set", "lo", "up"})
            || !sh({"ip", "link", "add", "eth0", "netns", host.ns, "type", "veth", "peer", "name", port, "netns",
                m_switch})
            || !sh({"ip", "-n", m_switch, "link", "set", port, "master", "br0", "up"})
            || !sh({"ip", "-n", host.ns, "addr", "add", ip, "dev", "eth0"})
            || !sh({"ip", "-n", host.ns, "link", "set", "eth0", "up"})
            || !sh({"ip", "-n", host.ns, "route", "add", "default", "dev", "eth0"}))
            return;
        QDir().mkpath(host.dir);
    }
    if (withMdns) {
        for (int i = 0; i < hosts; ++i) {
            if (!startMdns(i))
                return;
        }
    }
}

TestNetwork::~TestNetwork()
{
    for (QProcess* p : qAsConst(m_processes)) {
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(2000)) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
        delete p;
    }
    QList<QString> namespaces;
    for (const Host& h : qAsConst(m_hosts))
        namespaces.append(h.ns);
    if (!m_switch.isEmpty())
        namespaces.append(m_switch);
    for (const QString& ns : qAsConst(namespaces)) {
        // Whatever still runs in there (a daemon that forked) goes too.
        QProcess pids;
        pids.start(QStringLiteral("ip"), {"netns", "pids", ns});
        pids.waitForFinished(5000);
        for (const QByteArray& pid : pids.readAllStandardOutput().split('\n')) {
            if (!pid.trimmed().isEmpty())
                ::kill(pid.trimmed().toInt(), SIGKILL);
        }
        QProcess::execute(QStringLiteral("ip"), {"netns", "del", ns});
    }
}

bool TestNetwork::restartMdns(int host)
{
    Host& h = m_hosts[host];
    if (!h.avahi)
        return false;
    h.avahi->terminate();
    if (!h.avahi->waitForFinished(5000))
        h.avahi->kill();
    h.avahi->waitForFinished(2000);
    return startAvahi(host);
}

QHostAddress TestNetwork::address(int host) const
{
    return QHostAddress(Subnet + QString::number(FirstHost + host));
}

QStringList TestNetwork::prefix(int host) const
{
    const Host& h = m_hosts.at(host);
    return {"ip", "netns", "exec", h.ns, "env", "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + h.dir + "/system_bus_socket",
        "DBUS_SESSION_BUS_ADDRESS=disabled:", "XDG_CONFIG_HOME=" + h.dir + "/xdg-config"};
}

QProcess* TestNetwork::start(int host, const QString& program, const QStringList& arguments)
{
    const QStringList command = prefix(host) + QStringList{program} + arguments;
    auto* p = new QProcess;
    p->setProcessChannelMode(QProcess::SeparateChannels);
    p->start(command.first(), command.mid(1));
    m_processes.append(p);
    return p;
}

int TestNetwork::run(int host, const QString& program, const QStringList& arguments, QByteArray* output, int timeoutMs)
{
    const QStringList command = prefix(host) + QStringList{program} + arguments;
    QProcess p;
    p.start(command.first(), command.mid(1));
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
        if (output)
            *output = p.readAllStandardOutput();
        return -1;
    }
    if (output)
        *output = p.readAllStandardOutput();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool TestNetwork::startMdns(int host)
{
    const Host& h = m_hosts.at(host);
    const QString socketPath = h.dir + "/system_bus_socket";
    QFile dbusConf(h.dir + "/dbus.conf");
    QFile avahiConf(h.dir + "/avahi.conf");
    if (!dbusConf.open(QIODevice::WriteOnly) || !avahiConf.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write the daemon configurations");
        return false;
    }
    dbusConf.write(dbusConfig(socketPath));
    avahiConf.write(avahiConfig(host));
    dbusConf.close();
    avahiConf.close();

    start(host, QStringLiteral("dbus-daemon"), {"--config-file=" + dbusConf.fileName(), "--nofork", "--nopidfile"});
    QDeadlineTimer deadline(10000);
    while (!QFileInfo::exists(socketPath) && !deadline.hasExpired())
        QTest::qWait(20);
    if (!QFileInfo::exists(socketPath)) {
        m_error = QStringLiteral("dbus-daemon did not start on host %1").arg(host);
        return false;
    }
    return startAvahi(host);
}

bool TestNetwork::startAvahi(int host)
{
    Host& h = m_hosts[host];
    // avahi keeps its pid file and socket in /run/avahi-daemon: each host gets its own.
    const QString script = QStringLiteral("mkdir -p /run/avahi-daemon && mount -t tmpfs tmpfs /run/avahi-daemon && "
                                          "exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f %1")
                               .arg(h.dir + "/avahi.conf");
    h.avahi = start(host, QStringLiteral("unshare"), {"--mount", "--propagation", "private", "sh", "-c", script});
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        QByteArray names;
        run(host, QStringLiteral("dbus-send"),
            {"--system", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                "org.freedesktop.DBus.ListNames"},
            &names, 3000);
        if (names.contains("org.freedesktop.Avahi"))
            return true;
        QTest::qWait(50);
    }
    m_error = QStringLiteral("avahi-daemon did not start on host %1").arg(host);
    return false;
}
