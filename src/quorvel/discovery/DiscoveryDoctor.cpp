#include "quorvel/discovery/DiscoveryDoctor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>
#include <algorithm>
#include <avahi-common/error.h>
#include <cstring>
#include <dirent.h>
#include <unistd.h>

#include "quorvel/discovery/BroadcastTargets.h"
#include "quorvel/discovery/FirewallRules.h"
#include "quorvel/discovery/QxtServiceBrowser.h"
#include "quorvel/discovery/ZeroconfClient.h"
#include "quorvel/protocol/ListenPort.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/tasks/Timing.h"

namespace {
// ADDRESS:PORT as quorvelctl takes it back: an IPv6 address in brackets.
QString whereOf(const QHostAddress& address, int port)
{
    const QString text = address.toString();
    return QStringLiteral("%1:%2")
        .arg(address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + text + QLatin1Char(']') : text)
        .arg(port);
}

const QList<quint16> Ports{ProtocolPort::Discovery, ProtocolPort::Operation};
// How long the daemon gets to answer or to refuse the browser.
constexpr int MdnsSettleMs = 1000;

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
}

// The pid whose descriptors include the socket, -1 when none we may read does.
qint64 socketOwner(const QString& inode)
{
    const QByteArray link = "socket:[" + inode.toLatin1() + "]";
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs);
    for (const QString& pid : pids) {
        const QByteArray fdDir = QFile::encodeName(QStringLiteral("/proc/%1/fd/").arg(pid));
        DIR* dir = ::opendir(fdDir.constData());
        if (!dir)
            continue; // another user's process
        bool holds = false;
        while (const dirent* entry = ::readdir(dir)) {
            char target[64];
            const ssize_t n = ::readlink((fdDir + entry->d_name).constData(), target, sizeof target);
            if (n == link.size() && memcmp(target, link.constData(), size_t(n)) == 0) {
                holds = true;
                break;
            }
        }
        ::closedir(dir);
        if (holds)
            return pid.toLongLong();
    }
    return -1;
}

bool isThisClient(qint64 pid)
{
    const QString name = processName(pid);
    return pid == QCoreApplication::applicationPid() || name == QLatin1String("quorvel")
        || name == QLatin1String("quorvelctl");
}
} // namespace

DiscoveryDoctor::DiscoveryDoctor(DiscoveryServer* discovery, int passWaitMs, QObject* parent)
    : QObject(parent)
    , m_discovery(discovery)
    , m_passWaitMs(passWaitMs)
{
    qRegisterMetaType<DiscoveryDoctor::Finding>();
}

DiscoveryDoctor::~DiscoveryDoctor()
{
    m_pool.waitForDone();
    if (m_firewall) {
        m_firewall->disconnect(this);
        m_firewall->kill();
        m_firewall->waitForFinished(1000);
    }
}

bool DiscoveryDoctor::allOk() const
{
    return std::all_of(m_findings.begin(), m_findings.end(), [](const Finding& f) { return f.ok; });
}

void DiscoveryDoctor::start()
{
    m_clock.start();
    m_steps = {[this] { checkInterfaces(); }, [this] { checkPorts(); }, [this] { checkFirewall(0); },
        [this] { checkMdns(); }, [this] { checkManualDevices(); }, [this] { checkDiscovery(); }};
    next();
}

void DiscoveryDoctor::next()
{
    if (m_steps.isEmpty()) {
        delete m_browser;
        m_browser = nullptr;
        emit finished(allOk());
        return;
    }
    // Each step from the event loop: the window stays responsive between them.
    QTimer::singleShot(0, this, m_steps.takeFirst());
}

void DiscoveryDoctor::report(const QString& check, bool ok, const QString& detail, const QString& advice)
{
    m_findings.append({check, ok, detail, advice});
    emit found(m_findings.last());
}

void DiscoveryDoctor::checkInterfaces()
{
    const QList<BroadcastTargets::Interface> interfaces
        = BroadcastTargets::survey(m_discovery ? m_discovery->broadcastInterfaces() : QStringList());
    QStringList usable;
    for (const BroadcastTargets::Interface& i : interfaces) {
        QStringList broadcasts;
        for (const QHostAddress& b : i.broadcasts)
            broadcasts << b.toString();
        if (i.used) {
            usable << tr("%1 (广播地址 %2%3)")
                          .arg(i.name, i.defaultRoute ? QStringLiteral("255.255.255.255") : broadcasts.join(", "),
                              i.defaultRoute ? tr(", 默认路由") : QString());
        } else {
            // Skipped on purpose: said, with how to use it after all.
            report(QStringLiteral("interface ") + i.name, true, tr("已跳过: %1").arg(i.why),
                tr("若也要在此广播, 请在 QUORVEL_BROADCAST_INTERFACES 中列出要用的每个接口 (例如 \"%1\")").arg(i.name));
        }
    }
    if (usable.isEmpty())
        report(QStringLiteral("interfaces"), false, tr("没有已启用且能广播的 IPv4 接口"),
            tr("请把本机接入设备所在的网络 (网线, Wi-Fi); 在此之前只能连接有路由可达的手动添加设备"));
    else
        report(QStringLiteral("interfaces"), true, tr("广播经由 %1 发出").arg(usable.join(", ")));
    next();
}

QStringList DiscoveryDoctor::udpPortHolders(
    quint16 port, bool loopbackToo, const std::function<bool(qint64 pid)>& isOurs)
{
    QStringList holders;
    for (const ListenPort::Holder& h : ListenPort::holders(port)) {
        // A socket on a loopback address takes nothing the network sends.
        if (h.address.isLoopback() && !loopbackToo)
            continue;
        const QString on
            = h.address.isNull() || h.address == QHostAddress::AnyIPv4 || h.address == QHostAddress::AnyIPv6
            ? QString()
            : tr(" 在 %1 上").arg(h.address.toString());
        const qint64 pid = socketOwner(h.inode);
        if (pid < 0)
            holders << tr("其他用户的进程 (uid %1)%2").arg(h.uid, on);
        else if (!isOurs(pid))
            holders << QStringLiteral("pid %1 (%2)%3").arg(pid).arg(processName(pid), on);
    }
    holders.removeDuplicates();
    return holders;
}

void DiscoveryDoctor::checkPorts()
{
    for (const quint16 port : Ports) {
        const QString check = QStringLiteral("port %1").arg(port);
        const QString use
            = port == ProtocolPort::Discovery ? tr("其他客户端找不到本客户端") : tr("设备无法向本机发送文件");
        const QStringList others = udpPortHolders(port, false, isThisClient);
        QUdpSocket socket; // bound as the client's listeners bind it
        if (!others.isEmpty()) {
            report(check, false, tr("UDP %1 被 %2 占用").arg(port).arg(others.join(", ")),
                tr("请停止该程序 (它占用此端口期间%1)").arg(use));
        } else if (QString error; ListenPort::bind(socket, port, &error)) {
            report(check, true, tr("UDP %1 空闲").arg(port));
        } else if (udpPortHolders(port, true, isThisClient).isEmpty()
            && !udpPortHolders(port, true, [](qint64) { return false; }).isEmpty()) {
            report(check, true, tr("UDP %1 由本客户端占用").arg(port));
        } else {
            const QStringList holders = udpPortHolders(port, true, isThisClient);
            report(check, false,
                tr("UDP %1 无法绑定 (%2)")
                    .arg(port)
                    .arg(holders.isEmpty() ? socket.errorString() : tr("被 %1 占用").arg(holders.join(", "))),
                tr("请停止该程序 (在此期间%1)").arg(use));
        }
    }
    next();
}

void DiscoveryDoctor::checkFirewall(int attempt, bool denied)
{
    // The firewall managers first (the rules below them are theirs), then the rules.
    struct Reader {
        QStringList command;
        FirewallRules::Verdict (*judge)(const QString& output);
        int notRunning; // the exit status that only says the firewall is not running
    };
    static const QList<Reader> readers{
        {{"ufw", "status", "verbose"}, &FirewallRules::fromUfw, -1},
        {{"firewall-cmd", "--list-all"}, &FirewallRules::fromFirewalld, 252},
        {{"nft", "list", "ruleset"}, [](const QString& r) { return FirewallRules::fromRules(true, r); }, -1},
        {{"iptables", "-S"}, [](const QString& r) { return FirewallRules::fromRules(false, r); }, -1},
    };
    if (attempt >= readers.size()) {
        // Rules that could not be read may drop anything: not a clean bill. Without
        // any tool there is nothing that would have set rules up.
        if (denied)
            report(QStringLiteral("firewall"), false, tr("无法读取防火墙规则 (没有权限)"),
                tr("请以 root 身份运行 quorvelctl doctor 来检查"));
        else
            report(QStringLiteral("firewall"), true,
                tr("没有启用的防火墙 (ufw, firewalld), 也没有安装设置规则的工具 (nft, iptables)"));
        next();
        return;
    }
    m_firewall = new QProcess(this);
    const Reader reader = readers.at(attempt);
    const auto done = [this, attempt, reader, denied](bool ran) {
        QProcess* p = m_firewall;
        m_firewall = nullptr;
        p->deleteLater();
        if (!ran || p->exitStatus() != QProcess::NormalExit || p->exitCode() != 0) {
            const bool notRunning
                = ran && p->exitStatus() == QProcess::NormalExit && p->exitCode() == reader.notRunning;
            checkFirewall(attempt + 1, denied || (ran && !notRunning));
            return;
        }
        const FirewallRules::Verdict v = reader.judge(QString::fromLocal8Bit(p->readAllStandardOutput()));
        if (!v.inCharge) {
            checkFirewall(attempt + 1, denied);
            return;
        }
        report(QStringLiteral("firewall"), v.open, v.detail, v.advice);
        next();
    };
    connect(m_firewall, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this, [done] { done(true); });
    connect(m_firewall, &QProcess::errorOccurred, this, [this, done](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart)
            done(false); // not installed
    });
    m_firewall->start(reader.command.first(), reader.command.mid(1));
}

void DiscoveryDoctor::checkMdns()
{
    // A connection of its own, on this thread, made before the browser and freed after it
    // (children go in the order they came).
    auto* zc = new ZeroconfClient(this);
    m_browser = new QxtServiceBrowser(*zc, DiscoveryServer::ServiceType, zc);
    auto failed = std::make_shared<int>(0);
    connect(m_browser, &QxtServiceBrowser::browsingFailed, this, [failed](int code) { *failed = code; });
    connect(m_browser, &QxtServiceBrowser::serviceAdded, this, [this](const QString& name) { m_mdnsSeen << name; });
    const auto settle = [this, zc, failed] {
        const QString check = QStringLiteral("mdns");
        if (!zc->isRunning() || *failed) {
            const int code = *failed ? *failed : (zc->lastError() ? zc->lastError() : AVAHI_ERR_NO_DAEMON);
            report(check, false, tr("无法使用 avahi-daemon: %1").arg(QString::fromUtf8(avahi_strerror(code))),
                tr("请启动 avahi-daemon (systemctl start avahi-daemon); 在此之前只能通过广播和手动添加找到设备"));
        } else {
            report(check, true,
                tr("avahi-daemon 正在运行, 浏览 %1 (已公布 %2 个)")
                    .arg(DiscoveryServer::ServiceType)
                    .arg(m_mdnsSeen.size()));
        }
        next();
    };
    m_browser->browse();
    QTimer::singleShot(MdnsSettleMs, this, settle);
}

void DiscoveryDoctor::checkManualDevices()
{
    const QList<ServerContent> manual = m_discovery ? m_discovery->manualDevices() : QList<ServerContent>();
    if (manual.isEmpty()) {
        report(QStringLiteral("hand-added devices"), true, tr("无"));
        next();
        return;
    }
    QMutexLocker lock(&m_answersLock);
    m_pendingAnswers = manual.size();
    for (const ServerContent& m : manual) {
        m_asked.insert(whereOf(m.address, m.port), m_clock.elapsed());
        m_pool.start(
            new DiscoveryServer::ServerInfoGetter(this, m.address, quint16(m.port), m_discovery->clientName()));
    }
}

void DiscoveryDoctor::onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast)
{
    if (isBroadcast)
        return;
    // On the pool's thread: the finding is made on the doctor's.
    const QString where = whereOf(content.address, content.port);
    QMutexLocker lock(&m_answersLock);
    const qint64 ms = m_clock.elapsed() - m_asked.value(where);
    const bool last = --m_pendingAnswers == 0;
    QMetaObject::invokeMethod(
        this,
        [this, where, found, ms, last, name = content.name] {
            const QString check = QStringLiteral("device ") + where;
            if (found)
                report(check, true, tr("\"%1\" 在 %2 毫秒内回复").arg(name).arg(ms));
            else
                report(check, false,
                    // A query that fails at once never reached the network (no route, an unusable address).
                    ms * 2 < Timing::current().infoReplyWaitMs ? tr("无法询问 (查询在 %1 毫秒后失败)").arg(ms)
                                                               : tr("在 %1 毫秒内没有回复").arg(ms),
                    tr("请检查设备是否开机且仍是这个地址; 如果地址变了, 请删除它 (quorvelctl devices rm %1) "
                       "再添加新地址")
                        .arg(where));
            if (last)
                next();
        },
        Qt::QueuedConnection);
}

void DiscoveryDoctor::checkDiscovery()
{
    if (!m_discovery) {
        next();
        return;
    }
    m_discovery->startDiscovery();
    QTimer::singleShot(m_passWaitMs, this, [this] {
        QStringList seen;
        for (const ServerContent& s : m_discovery->devices()) {
            seen << tr("\"%1\" %2 (经由 %3)").arg(s.name, s.address.toString(), m_discovery->foundBy(s.address));
        }
        seen.sort();
        if (seen.isEmpty())
            report(QStringLiteral("discovery"), false, tr("一次搜索什么也没找到"),
                tr("请检查设备是否开机且与本机在同一网络; 如果广播到不了它, 请手动添加 (quorvelctl devices add "
                   "ADDRESS)"));
        else
            report(QStringLiteral("discovery"), true, tr("一次搜索找到了 %1").arg(seen.join(", ")));
        next();
    });
}
