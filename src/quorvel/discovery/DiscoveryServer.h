#pragma once

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QRunnable>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>
#include <atomic>
#include <functional>
#include <memory>

#include "quorvel/protocol/ManualTarget.h"
#include "quorvel/protocol/ServerContent.h"
#include "json/QtJson.h"

class ClientSettings;
class QThreadPool;
class QuorvelClientDatabase;
class QxtDiscoverableService;
class QxtServiceBrowser;
class ZeroconfClient;

// Who receives the outcome of an information query (the discovery manager; a test).
class QueryResultReceiver {
public:
    virtual ~QueryResultReceiver() = default;
    // Once per accepted broadcast answer (found, not broadcast), and once at the end of
    // every query (the last record, found, whether it was the broadcast).
    virtual void onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast) = 0;
};

// The live list of devices: found through mDNS, the hand-added list (addresses, host
// names looked up at every pass, ranges asked address by address), the devices that
// answered in the last weeks and broadcast passes, confirmed and described by the
// information query, re-asked while quiet and dropped when gone. A device is one entry
// (its uuid) however many of its addresses answer: shown at the address that answered
// first, kept while any answers. It also announces this client on mDNS (SelfAnnouncement).
class DiscoveryServer : public QObject, public QueryResultReceiver {
    Q_OBJECT
public:
    static const QString ServiceType; // "_quorvel._udp"
    static constexpr quint16 QueryPort = ProtocolPort::Discovery;

    // One information query of one address (or of every device, with the broadcast
    // address); reports to the owner's onQueryServerResult on the pool thread.
    class ServerInfoGetter : public QRunnable {
    public:
        // clientName: how this client introduces itself in the question.
        ServerInfoGetter(QueryResultReceiver* owner, const QHostAddress& host, quint16 port, const QString& clientName);
        // A broadcast: the interfaces to broadcast on (empty: every one but the virtual).
        void setInterfaces(const QStringList& names) { m_interfaces = names; }
        void run() override;
        ServerContent getServerContent(const char* data, quint64 size, bool& ok) const;
        static QtJson::JsonObject buildQueryRequest(const QString& clientName);

    private:
        QueryResultReceiver* m_owner;
        QHostAddress m_host;
        quint16 m_port;
        QString m_clientName;
        QStringList m_interfaces;
    };

    // Asks every address of a list by unicast from one socket, paced (Timing), and
    // reports each answer (found, not broadcast); at its end one report with
    // isBroadcast set, as a broadcast's. Stops early when *stop is set.
    class AddressSweep : public QRunnable {
    public:
        AddressSweep(QueryResultReceiver* owner, const QList<QHostAddress>& targets, quint16 port,
            const QString& clientName, const std::atomic_bool* stop = nullptr);
        void run() override;
        // Datagrams sent, and how long the sending took (ms).
        int sent() const { return m_sent; }
        qint64 sendingMs() const { return m_sendingMs; }

    private:
        QueryResultReceiver* m_owner;
        QList<QHostAddress> m_targets;
        quint16 m_port;
        QString m_clientName;
        const std::atomic_bool* m_stop;
        int m_sent = 0;
        qint64 m_sendingMs = 0;
    };

    // Asks again, every update period, the devices that have gone quiet; the asking runs
    // on this thread, so a busy window thread does not hold it up.
    // (No Q_OBJECT: moc does not take nested classes; the timer reaches onUpdate through
    // a functor connection.)
    class AutoUpdater : public QThread {
    public:
        explicit AutoUpdater(DiscoveryServer* server);
        ~AutoUpdater() override;
        void onUpdate();

    protected:
        void run() override;

    private:
        DiscoveryServer* m_server;
    };

    // The settings give this client's name; the database holds the hand-added list and
    // the remembered devices (null: neither is asked); the queries run on pool. All
    // outlive the server. The destructor stops the updater and waits for the queries it
    // started.
    DiscoveryServer(const ClientSettings& settings, QuorvelClientDatabase* database, QThreadPool& pool);
    ~DiscoveryServer() override;

    QString clientName() const;
    // The hand-added devices given by address (not names or ranges).
    QList<ServerContent> manualDevices() const;
    // The interfaces broadcasts go out on; empty: all but the virtual ones.
    void setBroadcastInterfaces(const QStringList& names);
    QStringList broadcastInterfaces() const;

    bool startDiscovery();
    bool stopDiscovery();
    bool isStarted() const { return m_started; }

    // The devices now in the table.
    QList<ServerContent> devices() const;
    // The addresses that mDNS resolution gave (to tell how a device was found).
    QList<QHostAddress> mdnsAddresses() const { return m_serviceAddresses.values(); }
    // How a device at this address was found: "manual" (hand-added address, host name or
    // range), "mdns", "remembered" (asked where it answered before) or "broadcast".
    QString foundBy(const QHostAddress& address) const;

    void onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast) override;

    // Test seam: the browser and registration it made (null while stopped).
    QxtServiceBrowser* browser() const { return m_browser; }
    QxtDiscoverableService* registeredService() const { return m_service; }

signals:
    void serverDiscoveried(ServerContent server);
    void serverDisappeared(ServerContent server);
    void serverDiscoeryEnd(int count);

public slots:
    void onServiceBrowsingFailed(int errorCode);
    void onServiceAdded(const QString& serviceName, const QString& domain);
    void onServiceRemoved(const QString& serviceName, const QString& domain);
    void onServiceRegistered();
    void onServiceRegistrationError(int code);
    void onLookuped(const QHostAddress& address, int port);
    void onLookupError(int code);

private:
    // A change to tell the receivers about, collected under the table's lock and
    // emitted after it is released, in the order the changes were made.
    // One device: the record shown (at the address that answered first) and when each
    // of its addresses last answered, and at which port.
    struct Entry {
        ServerContent record;
        QHash<QString, qint64> seen;
        QHash<QString, quint16> ports;
    };

    struct Change {
        enum Kind { Discovered, Disappeared, PassEnded } kind;
        ServerContent server;
        int count = 0;
    };

    void queryAllDevices();
    void query(const QHostAddress& host, quint16 port);
    // Starts a runnable on the pool, counted so that destruction waits for it.
    void startCounted(std::function<void()> work);
    // Forgets an address of an entry that stopped answering there: the entry moves to
    // another address that answers, or goes when none is left. Table lock held.
    void dropAddress(const QString& key, const QString& address);
    void clearInvalidServer();
    void onUpdate();
    void emitChanges();

    // The table's lock: the device table is reached from the pool threads that report
    // answers, from the updater's thread and from the owner's (devices()). Whatever else
    // is touched only on the owner's thread (browsing, the hand-added targets and how
    // they resolved, the broadcast interfaces) takes no lock.
    mutable QMutex m_discoveryMutex;
    QList<Change> m_changes; // guarded by the table's lock
    bool m_emitting = false; // as well
    QMutex m_queriesLock;
    QWaitCondition m_queriesDone;
    int m_queries = 0; // started and not yet ended
    bool m_closing = false; // no more queries; guarded by m_queriesLock

    bool m_started = false;
    ZeroconfClient* m_zeroconf = nullptr;
    QxtServiceBrowser* m_browser = nullptr;
    QxtDiscoverableService* m_service = nullptr;
    QHash<QString, Entry> m_deviceTable; // by uuid ("@ADDRESS" for a party without one); table's lock
    QHash<QString, QString> m_addressKey; // address text -> its entry's key; table's lock
    const ClientSettings& m_settings;
    QuorvelClientDatabase* const m_database;
    QThreadPool& m_pool;
    QStringList m_broadcastInterfaces;
    QList<ManualTarget> m_manualTargets; // as of the last pass
    QHash<QString, QList<QHostAddress>> m_hostAddresses; // hand-added host name -> its addresses
    QList<QHostAddress> m_rememberedAddresses; // asked at the last pass
    QHash<QString, qint64> m_rememberedAt; // "uuid address port" -> when written; table's lock
    std::atomic_bool m_stopping{false};
    AutoUpdater* m_updater = nullptr;
    QHash<QString, QHostAddress> m_serviceAddresses;
};
