#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>

// One entry of the hand-added list, as a person types it: ADDRESS[:PORT], a host name
// HOST[:PORT] (looked up again at every discovery pass) or an IPv4 range in CIDR form,
// at most a /22 (each of its addresses asked by unicast at the query port).
class ManualTarget {
public:
    enum Kind { Invalid, Address, Host, Range };
    // The widest range taken: 1,024 addresses, about 2 s of paced queries.
    static constexpr int WidestPrefix = 22;

    ManualTarget() = default;
    // What was typed, or a clear reason in *error (then the target is Invalid).
    static ManualTarget parse(const QString& typed, quint16 defaultPort, QString* error = nullptr);
    // From the stored form (the text without the port, and the port).
    static ManualTarget fromStored(const QString& text, int port);

    Kind kind() const { return m_kind; }
    bool isValid() const { return m_kind != Invalid; }
    // The address (Address), the host name (Host) or "198.51.100.0/24" (Range).
    QString text() const { return m_text; }
    quint16 port() const { return m_port; }
    // ADDRESS:PORT, HOST:PORT or the range, as lists show it.
    QString display() const;
    QHostAddress address() const { return m_address; }
    int prefixLength() const { return m_prefix; }
    // Every address of a range, network and broadcast addresses included (a /31 or /32
    // has no others); empty for other kinds.
    QList<QHostAddress> rangeAddresses() const;
    bool contains(const QHostAddress& address) const;

    bool operator==(const ManualTarget& other) const
    {
        return m_kind == other.m_kind && m_text == other.m_text && m_port == other.m_port;
    }

private:
    Kind m_kind = Invalid;
    QString m_text;
    QHostAddress m_address;
    int m_prefix = 32;
    quint16 m_port = 0;
};
