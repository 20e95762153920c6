#include "quorvel/protocol/ManualTarget.h"

#include <QRegularExpression>

namespace {
// A host name: letters, digits, dashes and dots, labels of at most 63 characters.
bool isHostName(const QString& text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(?=.{1,253}$)[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?"
                       "(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*\\.?$"));
    // All digits and dots is a mistyped address, not a name.
    static const QRegularExpression numeric(QStringLiteral("^[0-9.]+$"));
    return pattern.match(text).hasMatch() && !numeric.match(text).hasMatch();
}

ManualTarget invalid(QString* error, const QString& why)
{
    if (error)
        *error = why;
    return ManualTarget();
}
} // namespace

ManualTarget ManualTarget::parse(const QString& typedText, quint16 defaultPort, QString* error)
{
    const QString typed = typedText.trimmed();
    const QString forms = QStringLiteral("ADDRESS[:PORT], HOST[:PORT] or an IPv4 range such as 198.51.100.0/24");
    if (typed.isEmpty())
        return invalid(error, QStringLiteral("nothing given; use %1").arg(forms));
    ManualTarget t;
    t.m_port = defaultPort;
    const int slash = typed.indexOf(QLatin1Char('/'));
    if (slash >= 0) {
        const QHostAddress base(typed.left(slash));
        bool ok = false;
        const int prefix = typed.mid(slash + 1).toInt(&ok);
        if (base.protocol() != QAbstractSocket::IPv4Protocol || !ok || typed.mid(slash + 1).startsWith('+'))
            return invalid(error, QStringLiteral("\"%1\" is no IPv4 range; use %2").arg(typed, forms));
        if (prefix < WidestPrefix || prefix > 32)
            return invalid(error,
                QStringLiteral("\"%1\": a range is /%2 to /32 (at most 1,024 addresses)").arg(typed).arg(WidestPrefix));
        const quint32 mask = prefix == 0 ? 0 : ~quint32(0) << (32 - prefix);
        t.m_kind = Range;
        t.m_prefix = prefix;
        t.m_address = QHostAddress(base.toIPv4Address() & mask);
        t.m_text = QStringLiteral("%1/%2").arg(t.m_address.toString()).arg(prefix);
        return t;
    }
    QString host = typed;
    // IPv6 in brackets with a port, [ADDRESS]:PORT; a bare IPv6 address has no port.
    if (typed.startsWith(QLatin1Char('['))) {
        const int close = typed.indexOf(QLatin1Char(']'));
        host = typed.mid(1, close - 1);
        if (close < 0 || (close + 1 < typed.size() && typed.at(close + 1) != QLatin1Char(':')))
            return invalid(error, QStringLiteral("\"%1\" is none of %2").arg(typed, forms));
        if (close + 1 < typed.size()) {
            bool ok = false;
            const int port = typed.mid(close + 2).toInt(&ok);
            if (!ok || port < 1 || port > 65535)
                return invalid(error, QStringLiteral("\"%1\": a port is a whole number from 1 to 65535").arg(typed));
            t.m_port = quint16(port);
        }
    } else if (typed.count(QLatin1Char(':')) == 1) {
        const int colon = typed.indexOf(QLatin1Char(':'));
        bool ok = false;
        const int port = typed.mid(colon + 1).toInt(&ok);
        if (!ok || port < 1 || port > 65535 || typed.mid(colon + 1).startsWith('+'))
            return invalid(error, QStringLiteral("\"%1\": a port is a whole number from 1 to 65535").arg(typed));
        t.m_port = quint16(port);
        host = typed.left(colon);
    }
    const QHostAddress address(host);
    if (!address.isNull()) {
        t.m_kind = Address;
        t.m_address = address;
        t.m_text = address.toString();
        return t;
    }
    if (!isHostName(host))
        return invalid(error, QStringLiteral("\"%1\" is none of %2").arg(typed, forms));
    t.m_kind = Host;
    t.m_text = host.toLower();
    return t;
}

ManualTarget ManualTarget::fromStored(const QString& text, int port)
{
    // The window's list has always taken port 0 too: kept as stored.
    if (port < 0 || port > 65535)
        return ManualTarget();
    ManualTarget t = parse(text, quint16(port));
    t.m_port = quint16(port);
    return t;
}

QString ManualTarget::display() const
{
    switch (m_kind) {
    case Range: return m_text;
    case Address:
        if (m_address.protocol() == QAbstractSocket::IPv6Protocol)
            return QStringLiteral("[%1]:%2").arg(m_text).arg(m_port);
        return QStringLiteral("%1:%2").arg(m_text).arg(m_port);
    case Host: return QStringLiteral("%1:%2").arg(m_text).arg(m_port);
    case Invalid: break;
    }
    return QString();
}

QList<QHostAddress> ManualTarget::rangeAddresses() const
{
    QList<QHostAddress> out;
    if (m_kind != Range)
        return out;
    const quint32 first = m_address.toIPv4Address();
    const quint32 count = quint32(1) << (32 - m_prefix);
    out.reserve(int(count));
    for (quint32 i = 0; i < count; ++i)
        out.append(QHostAddress(first + i));
    return out;
}

bool ManualTarget::contains(const QHostAddress& address) const
{
    switch (m_kind) {
    case Address: return m_address.isEqual(address, QHostAddress::TolerantConversion);
    case Range: return address.isInSubnet(m_address, m_prefix);
    default: return false;
    }
}
