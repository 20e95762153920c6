#include "TestNetwork.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <csignal>
#include <unistd.h>

#include "TestFiles.h"

namespace {
int g_networkCounter = 0;
const QString Subnet = QStringLiteral("198.51.%1.");
constexpr int FirstHost = 11;

bool writeFile(const QString& path, const QString& text)
{
    return TestFiles::write(path, text.toUtf8());
}
} // namespace

bool TestNetwork::available(QString* why)
{
    if (geteuid() != 0)
        *why = QStringLiteral("not root");
    else if (QStandardPaths::findExecutable(QStringLiteral("ip")).isEmpty())
        *why = QStringLiteral("no ip command (iproute2)");
    else
        return true;
    return false;
}

bool TestNetwork::sh(const QStringList& commands)
{
    for (const QString& command : commands) {
        const QStringList words = command.split(' ');
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(words.first(), words.mid(1));
        if (!p.waitForFinished(20000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            m_error = command + ": " + QString::fromLocal8Bit(p.readAll()).trimmed();
            return false;
        }
    }
    return true;
}

TestNetwork::TestNetwork(int hosts, bool withMdns, const QList<int>& lans)
{
    if (!available(&m_error))
        return;
    const QString prefix = QStringLiteral("qvt%1n%2").arg(QCoreApplication::applicationPid()).arg(g_networkCounter++);
    m_switch = prefix + QStringLiteral("sw");
    if (!sh({"ip netns add " + m_switch, "ip -n " + m_switch + " link set lo up"}))
        return;
    for (int lan = 0; lan < 2; ++lan) {
        const QString br = QStringLiteral("br%1").arg(lan);
        if (!sh({"ip -n " + m_switch + " link add " + br + " type bridge",
                "ip -n " + m_switch + " link set " + br + " up"}))
            return;
    }
    for (int i = 0; i < hosts; ++i) {
        const Host host{
            prefix + QStringLiteral("h%1").arg(i), m_dir.path() + QStringLiteral("/host%1").arg(i), lans.value(i, 1)};
        m_hosts.append(host);
        const QString ns = "ip -n " + host.ns + " ";
        // IPv6 stays on, as on real hosts: link-local addresses, usable at once.
        if (!sh({"ip netns add " + host.ns, ns + "link set lo up",
                "ip netns exec " + host.ns + " sysctl -q -w net.ipv6.conf.default.accept_dad=0"}))
            return;
        // eth0 on the host's first LAN (the default route), eth1 on its second.
        int nic = 0;
        for (int lan = 0; lan < 2; ++lan) {
            if (!(host.lans & (1 << lan)))
                continue;
            const QString eth = QStringLiteral("eth%1").arg(nic++), port = QStringLiteral("p%1l%2").arg(i).arg(lan);
            if (!sh({QStringLiteral("ip link add %1 netns %2 type veth peer name %3 netns %4")
                         .arg(eth, host.ns, port, m_switch),
                    "ip -n " + m_switch + QStringLiteral(" link set %1 master br%2 up").arg(port).arg(lan),
                    ns + "addr add " + Subnet.arg(100 + lan) + QString::number(FirstHost + i) + "/24 dev " + eth,
                    ns + "link set " + eth + " up"}))
                return;
        }
        if (!sh({ns + "route add default dev eth0"}) || !QDir().mkpath(host.dir) || (withMdns && !startMdns(i)))
            return;
    }
}

TestNetwork::~TestNetwork()
{
    QStringList namespaces{m_switch};
    for (const Host& h : qAsConst(m_hosts))
        namespaces.append(h.ns);
    for (const QString& ns : qAsConst(namespaces)) {
        if (ns.isEmpty())
            continue;
        QProcess pids;
        pids.start(QStringLiteral("ip"), {"netns", "pids", ns});
        pids.waitForFinished(5000);
        for (const QByteArray& pid : pids.readAllStandardOutput().split('\n')) {
            if (!pid.trimmed().isEmpty())
                ::kill(pid.trimmed().toInt(), SIGKILL);
        }
        QProcess::execute(QStringLiteral("ip"), {"netns", "del", ns});
    }
    for (QProcess* p : qAsConst(m_processes)) {
        p->waitForFinished(2000);
        delete p;
    }
}

QHostAddress TestNetwork::address(int host) const
{
    const int lan = (m_hosts.value(host).lans & 1) ? 0 : 1;
    return QHostAddress(Subnet.arg(100 + lan) + QString::number(FirstHost + host));
}

QHostAddress TestNetwork::address(int host, int lan)
{
    return QHostAddress(Subnet.arg(100 + lan) + QString::number(FirstHost + host));
}

QStringList TestNetwork::prefix(int host) const
{
    const Host& h = m_hosts.at(host);
    QStringList command{"ip", "netns", "exec", h.ns, "env",
        "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + h.dir + "/system_bus_socket",
        "DBUS_SESSION_BUS_ADDRESS=disabled:", "XDG_CONFIG_HOME=" + h.dir + "/xdg-config"};
    // unshare gives the program a mount namespace of its own, whatever namespace the test
    // runs in: the bind mount ends with it.
    if (h.ownHosts)
        command += QStringList{"unshare", "--mount", "--propagation", "private", "sh", "-c",
            "mount --bind \"$0\" /etc/hosts && exec \"$@\"", h.dir + "/hosts"};
    return command;
}

bool TestNetwork::forward(int host)
{
    return sh({"ip netns exec " + m_hosts.at(host).ns + " sysctl -q -w net.ipv4.ip_forward=1"});
}

bool TestNetwork::addRoute(int host, const QString& network, const QHostAddress& gateway)
{
    return sh({"ip -n " + m_hosts.at(host).ns + " route add " + network + " via " + gateway.toString()});
}

bool TestNetwork::setHostsFile(int host, const QString& text)
{
    Host& h = m_hosts[host];
    h.ownHosts = writeFile(h.dir + "/hosts", text);
    return h.ownHosts;
}

QProcess* TestNetwork::start(int host, const QString& program, const QStringList& arguments)
{
    const QStringList command = prefix(host) + QStringList{program} + arguments;
    auto* p = new QProcess;
    p->start(command.first(), command.mid(1));
    m_processes.append(p);
    return p;
}

int TestNetwork::run(int host, const QString& program, const QStringList& arguments, QByteArray* output, int timeoutMs)
{
    const QStringList command = prefix(host) + QStringList{program} + arguments;
    QProcess p;
    p.start(command.first(), command.mid(1));
    const bool ended = p.waitForFinished(timeoutMs);
    if (!ended) {
        p.kill();
        p.waitForFinished(2000);
    }
    if (output)
        *output = p.readAllStandardOutput();
    return ended && p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool TestNetwork::shapeLink(int host, int kbit)
{
    const Host& h = m_hosts.at(host);
    const QString port = QStringLiteral("p%1l%2").arg(host).arg((h.lans & 1) ? 0 : 1);
    const QStringList ends{"ip netns exec " + h.ns + " tc qdisc %1 dev eth0 root",
        "ip netns exec " + m_switch + " tc qdisc %1 dev " + port + " root"};
    // A burst of a few milliseconds' worth, at least a full-sized frame and then some.
    const QString bucket
        = QStringLiteral(" tbf rate %1kbit burst %2 latency 100ms").arg(kbit).arg(qMax(16384, kbit / 2));
    QStringList commands;
    for (const QString& end : ends) {
        QProcess::execute(QStringLiteral("sh"), {"-c", end.arg("del") + " 2>/dev/null"});
        if (kbit > 0)
            commands << end.arg("add") + bucket;
    }
    return sh(commands);
}

bool TestNetwork::setLinkUp(int host, bool up)
{
    const Host& h = m_hosts.at(host);
    const QString port = QStringLiteral("p%1l%2").arg(host).arg((h.lans & 1) ? 0 : 1);
    return sh({"ip -n " + m_switch + " link set " + port + (up ? " up" : " down")});
}

bool TestNetwork::startMdns(int host)
{
    const QString dir = m_hosts.at(host).dir;
    const bool written = writeFile(dir + "/dbus.conf",
                             "<busconfig><type>system</type><listen>unix:path=" + dir
                                 + "/system_bus_socket</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                   "<allow user=\"*\"/><allow own=\"*\"/><allow send_type=\"method_call\"/>"
                                   "<allow send_destination=\"*\" eavesdrop=\"true\"/><allow receive_sender=\"*\"/>"
                                   "</policy></busconfig>\n")
        && writeFile(dir + "/avahi.conf",
            QStringLiteral("[server]\nhost-name=qvhost-%1\nuse-ipv4=yes\nuse-ipv6=yes\nallow-interfaces=eth0\n"
                           "enable-dbus=yes\nratelimit-interval-usec=0\n[wide-area]\nenable-wide-area=no\n"
                           "[publish]\npublish-workstation=no\npublish-hinfo=no\n")
                .arg(host));
    if (!written) {
        m_error = QStringLiteral("cannot write the daemon configurations");
        return false;
    }
    // The bus prints its address once it listens.
    QProcess* bus = start(host, QStringLiteral("dbus-daemon"),
        {"--config-file=" + dir + "/dbus.conf", "--nofork", "--nopidfile", "--print-address"});
    QByteArray said;
    if (!TestFiles::waitForOutput(bus, "unix:", said, 10000).contains("unix:")) {
        m_error
            = QStringLiteral("dbus-daemon did not start on host %1: %2").arg(host).arg(QString::fromLocal8Bit(said));
        return false;
    }
    return startAvahi(host);
}

bool TestNetwork::startAvahi(int host)
{
    Host& h = m_hosts[host];
    // avahi keeps its pid file and socket in /run/avahi-daemon: each host gets its own. In
    // the foreground it logs to its standard error, and says when it serves (its bus name
    // is taken before that).
    const QString script = QStringLiteral("mkdir -p /run/avahi-daemon && mount -t tmpfs tmpfs /run/avahi-daemon && "
                                          "exec avahi-daemon --no-drop-root --no-chroot --no-rlimits -f %1 2>&1")
                               .arg(h.dir + "/avahi.conf");
    h.avahi = start(host, QStringLiteral("unshare"), {"--mount", "--propagation", "private", "sh", "-c", script});
    QByteArray said;
    if (TestFiles::waitForOutput(h.avahi, "Server startup complete", said, 10000).contains("Server startup complete"))
        return true;
    m_error = QStringLiteral("avahi-daemon did not start on host %1: %2").arg(host).arg(QString::fromLocal8Bit(said));
    return false;
}

bool TestNetwork::restartMdns(int host)
{
    QProcess* avahi = m_hosts.at(host).avahi;
    if (!avahi)
        return false;
    avahi->terminate();
    if (!avahi->waitForFinished(5000))
        avahi->kill();
    avahi->waitForFinished(2000);
    return startAvahi(host);
}
