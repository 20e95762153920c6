#pragma once

#include <QHostAddress>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Several hosts in network namespaces of our own, joined by a bridge in a "switch"
// namespace: 198.51.100.11, .12, ... with a default route on the bridge, so that
// 255.255.255.255 reaches every host and nothing else. With mDNS, each host gets its own
// system D-Bus and avahi-daemon. Hosts keep IPv6 link-local addresses. A second LAN,
// 198.51.101.0/24 on a second bridge, is joined by the hosts whose entry in lans has bit
// 1 set (bit 0: the first LAN; the default, 1). Everything that runs in the namespaces
// ends with the object.
class TestNetwork {
public:
    explicit TestNetwork(int hosts, bool withMdns = false, const QList<int>& lans = {});
    ~TestNetwork();
    TestNetwork(const TestNetwork&) = delete;
    TestNetwork& operator=(const TestNetwork&) = delete;

    bool isValid() const { return m_error.isEmpty(); }
    QString error() const { return m_error; }

    // The host's address on its first LAN; on the given LAN (0 or 1).
    QHostAddress address(int host) const;
    static QHostAddress address(int host, int lan);
    // The command prefix that runs a program on the host (namespace and environment).
    QStringList prefix(int host) const;

    // Starts a program on the host; it is ended with the network.
    QProcess* start(int host, const QString& program, const QStringList& arguments);
    // Runs a program on the host to its end; its exit code, or -1 on a time-out.
    int run(int host, const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
        int timeoutMs = 20000);

    // Shapes the host's link on its first LAN to `kbit` kbit/s each way with a token
    // bucket (the kernel here has no netem); 0 lifts the shaping.
    bool shapeLink(int host, int kbit);
    // Takes the host's link on its first LAN down at the switch, as a pulled cable (the
    // host keeps its address and routes), or puts it back up.
    bool setLinkUp(int host, bool up);

    // Makes the host a router between the LANs it joins (IPv4 forwarding).
    bool forward(int host);
    // A route on the host to a network ("198.51.101.0/24") through a gateway.
    bool addRoute(int host, const QString& network, const QHostAddress& gateway);
    // What the host's programs started from now on read as /etc/hosts: a file of the
    // test's, bound over it in a mount namespace of the program's own (never the
    // machine's file).
    bool setHostsFile(int host, const QString& text);

    // Stops the host's avahi-daemon, then starts it again (with mDNS only).
    bool restartMdns(int host);

    // Whether namespaces can be made here; the reason when not.
    static bool available(QString* why);

private:
    // Runs the commands (words split at spaces) in order; false at the first failure.
    bool sh(const QStringList& commands);
    bool startMdns(int host);
    bool startAvahi(int host);

    struct Host {
        QString ns;
        QString dir;
        int lans = 1;
        bool ownHosts = false;
        QProcess* avahi = nullptr;
    };
    QString m_switch;
    QList<Host> m_hosts;
    QList<QProcess*> m_processes;
    QTemporaryDir m_dir;
    QString m_error;
};

// Skips the test where namespaces cannot be made, unless the suite requires them (CI).
#define QUORVEL_REQUIRE_TEST_NETWORK()                                                                                 \
    do {                                                                                                               \
        QString why_;                                                                                                  \
        if (!TestNetwork::available(&why_)) {                                                                          \
            if (qEnvironmentVariableIsSet("QUORVEL_REQUIRE_NETNS"))                                                    \
                QFAIL(qPrintable("network namespaces are required here: " + why_));                                    \
            QSKIP(qPrintable("network namespaces cannot be made here: " + why_));                                      \
        }                                                                                                              \
    } while (false)

// Makes `name`, a TestNetwork of the given hosts (and mDNS, LANs), and fails the test when
// it cannot be made; skips where namespaces cannot be made (see above).
#define QUORVEL_TEST_NETWORK(name, ...)                                                                                \
    QUORVEL_REQUIRE_TEST_NETWORK();                                                                                    \
    TestNetwork name(__VA_ARGS__);                                                                                     \
    QVERIFY2(name.isValid(), qPrintable(name.error()))
