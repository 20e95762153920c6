#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QThreadPool>
#include <functional>

#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/protocol/ServerContent.h"

class QProcess;
class QxtServiceBrowser;

// Why a device does not show up: checks the mDNS daemon, the interfaces broadcasts leave
// through, the client's two UDP ports, the firewall, each hand-added device and one
// discovery pass, and reports each as a finding with what to do about it. Headless, so
// that the command line and the window give the same report. Runs on the thread that
// made it, driven by its event loop.
class DiscoveryDoctor : public QObject, private QueryResultReceiver {
    Q_OBJECT
public:
    struct Finding {
        QString check; // "mdns", "interfaces", "port 16020", "firewall", "device ADDRESS", "discovery"
        bool ok = true;
        QString detail; // what was found
        QString advice; // what to do about it (empty when nothing needs doing)
    };

    // discovery may be null (no discovery pass then); passWaitMs is how long the pass
    // listens for answers.
    DiscoveryDoctor(DiscoveryServer* discovery, int passWaitMs, QObject* parent = nullptr);
    ~DiscoveryDoctor() override;

    void start();
    QList<Finding> findings() const { return m_findings; }
    bool allOk() const;

    // Who holds a local UDP port in this network namespace, on any address but loopback
    // ones unless loopbackToo: "pid 123 (name)" or "another user's process (uid N)", with
    // " on ADDRESS" unless bound to all; processes for which isOurs(pid) holds are left out.
    static QStringList udpPortHolders(quint16 port, bool loopbackToo, const std::function<bool(qint64 pid)>& isOurs);

signals:
    void found(const DiscoveryDoctor::Finding& finding);
    void finished(bool allOk);

private:
    void report(const QString& check, bool ok, const QString& detail, const QString& advice = QString());
    void next();
    void checkInterfaces();
    void checkPorts();
    // denied: an earlier reader is installed but could not read the rules.
    void checkFirewall(int attempt, bool denied = false);
    void checkMdns();
    void checkManualDevices();
    void checkDiscovery();
    void onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast) override;

    DiscoveryServer* m_discovery;
    int m_passWaitMs;
    QList<std::function<void()>> m_steps;
    QList<Finding> m_findings;
    QxtServiceBrowser* m_browser = nullptr;
    QStringList m_mdnsSeen;
    QProcess* m_firewall = nullptr;
    QElapsedTimer m_clock;
    QMutex m_answersLock;
    QHash<QString, qint64> m_asked; // "address:port" -> when asked (m_clock)
    int m_pendingAnswers = 0;
    QThreadPool m_pool; // last: its destruction waits for the queries that report here
};

Q_DECLARE_METATYPE(DiscoveryDoctor::Finding)
