#include "quorvel/discovery/FirewallRules.h"

#include <QCoreApplication>
#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>

#include "quorvel/protocol/ProtocolWords.h"

const QString FirewallRules::UfwCommand = QStringLiteral("sudo ufw allow Quorvel");
const QString FirewallRules::FirewalldCommand
    = QStringLiteral("sudo firewall-cmd --permanent --add-service=quorvel && sudo firewall-cmd --reload");

namespace {
const QList<quint16> Ports{ProtocolPort::Discovery, ProtocolPort::Operation};

// Whether a port list of a rule ("16020", "16020,16021/udp", "16000:17000/udp",
// "16020/tcp") lets UDP `port` in.
bool covers(const QString& to, quint16 port)
{
    const QString proto = to.section(QLatin1Char('/'), 1);
    if (!proto.isEmpty() && proto != QLatin1String("udp"))
        return false;
    for (const QString& part : to.section(QLatin1Char('/'), 0, 0).split(QLatin1Char(','))) {
        bool okLow = false;
        bool okHigh = false;
        const int low = part.section(QLatin1Char(':'), 0, 0).toInt(&okLow);
        const int high = part.contains(QLatin1Char(':')) ? part.section(QLatin1Char(':'), 1).toInt(&okHigh) : low;
        if (okLow && (okHigh || !part.contains(QLatin1Char(':'))) && low <= port && port <= high)
            return true;
    }
    return false;
}

QString portsText()
{
    return QCoreApplication::translate("FirewallRules", "UDP %1 和 %2").arg(Ports.at(0)).arg(Ports.at(1));
}
} // namespace

FirewallRules::Verdict FirewallRules::fromUfw(const QString& status)
{
    Verdict v;
    if (!status.contains(QRegularExpression(QStringLiteral("^Status: active"), QRegularExpression::MultilineOption)))
        return v;
    v.inCharge = true;
    bool all = status.contains(QLatin1String("allow (incoming)"));
    QList<bool> open{all, all};
    static const QRegularExpression rule(QStringLiteral("^(\\S+)(?: \\(v6\\))?\\s+ALLOW\\b"));
    for (const QString& line : status.split(QLatin1Char('\n'))) {
        const auto m = rule.match(line.trimmed());
        if (!m.hasMatch())
            continue;
        const QString to = m.captured(1);
        for (int i = 0; i < Ports.size(); ++i)
            open[i] = open[i] || to.compare(QLatin1String("Quorvel"), Qt::CaseInsensitive) == 0 || covers(to, Ports[i]);
    }
    v.open = open[0] && open[1];
    v.detail = v.open ? QCoreApplication::translate("FirewallRules", "ufw 已启用, 放行 %1").arg(portsText())
                      : QCoreApplication::translate("FirewallRules", "ufw 已启用, 不放行 %1").arg(portsText());
    if (!v.open)
        v.advice = UfwCommand;
    return v;
}

FirewallRules::Verdict FirewallRules::fromFirewalld(const QString& listing)
{
    Verdict v;
    v.inCharge = true;
    QString services;
    QString ports;
    QString target;
    for (const QString& line : listing.split(QLatin1Char('\n'))) {
        const QString l = line.trimmed();
        if (l.startsWith(QLatin1String("services:")))
            services = l.mid(9);
        else if (l.startsWith(QLatin1String("ports:")))
            ports = l.mid(6);
        else if (l.startsWith(QLatin1String("target:")))
            target = l.mid(7).trimmed();
    }
    const QStringList serviceList = services.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    bool open = serviceList.contains(QLatin1String("quorvel")) || target == QLatin1String("ACCEPT");
    if (!open) {
        const QStringList portList = ports.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        open = std::all_of(Ports.begin(), Ports.end(), [&](quint16 p) {
            return std::any_of(portList.begin(), portList.end(), [&](const QString& e) {
                return e.endsWith(QLatin1String("/udp"))
                    && covers(QString(e).replace(QLatin1Char('-'), QLatin1Char(':')), p);
            });
        });
    }
    v.open = open;
    v.detail = open ? QCoreApplication::translate("FirewallRules", "firewalld 正在运行, 放行 %1").arg(portsText())
                    : QCoreApplication::translate("FirewallRules", "firewalld 正在运行, 不放行 %1").arg(portsText());
    if (!open)
        v.advice = FirewalldCommand;
    return v;
}

FirewallRules::Verdict FirewallRules::fromRules(bool nft, const QString& rules)
{
    Verdict v;
    v.inCharge = true;
    const QRegularExpression dropping(QStringLiteral("\\b(drop|reject|DROP|REJECT)\\b"));
    QStringList blocking;
    for (const quint16 port : Ports) {
        const QRegularExpression names(QStringLiteral("\\b%1\\b").arg(port));
        for (const QString& line : rules.split('\n')) {
            if (line.contains(names) && line.contains(dropping))
                blocking << line.trimmed();
        }
    }
    // A chain that drops what no rule accepts drops our ports unless a rule names them.
    const bool dropsByDefault
        = rules.contains(QRegularExpression(QStringLiteral("hook input[^\\n]*policy drop|-P INPUT DROP")));
    const bool acceptsOurs
        = rules.contains(QRegularExpression(QStringLiteral("\\b1602[01]\\b[^\\n]*accept|\\b1602[01]\\b[^\\n]*ACCEPT")));
    if (dropsByDefault && !acceptsOurs)
        blocking << QCoreApplication::translate("FirewallRules", "传入的数据包默认被丢弃, 且没有规则接受 %1")
                        .arg(portsText());
    blocking.removeDuplicates();
    const QString name = nft ? QStringLiteral("nftables") : QStringLiteral("iptables");
    const QString source = nft ? QStringLiteral("nft list ruleset") : QStringLiteral("iptables -S");
    v.open = blocking.isEmpty();
    if (v.open) {
        v.detail
            = QCoreApplication::translate("FirewallRules", "%1: 没有规则丢弃 %2 (%3)").arg(name, portsText(), source);
        return v;
    }
    v.detail = QCoreApplication::translate("FirewallRules", "%1: %2 显示: %3")
                   .arg(name, source, blocking.join(QStringLiteral("; ")));
    v.advice = nft ? QStringLiteral("sudo nft insert rule inet filter input udp dport { %1, %2 } accept")
                         .arg(Ports.at(0))
                         .arg(Ports.at(1))
                   : QStringLiteral("sudo iptables -I INPUT -p udp -m multiport --dports %1,%2 -j ACCEPT")
                         .arg(Ports.at(0))
                         .arg(Ports.at(1));
    return v;
}
