#pragma once

#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QRecursiveMutex>
#include <QRunnable>
#include <QThread>
#include <QWaitCondition>

#include "quorvel/protocol/ServerContent.h"
#include "json/QtJson.h"

class ClientSettings;
class QuorvelClientDatabase;
class QxtDiscoverableService;
class QxtServiceBrowser;

// Who receives the outcome of an information query (the discovery manager; a test).
class QueryResultReceiver {
public:
    virtual ~QueryResultReceiver() = default;
    // Once per accepted broadcast answer (found, not broadcast), and once at the end of
    // every query (the last record, found, whether it was the broadcast).
    virtual void onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast) = 0;
};

// The live list of devices: found through mDNS, the hand-added list and broadcast
// passes, confirmed and described by the information query, re-asked while quiet and
// dropped when gone. It also announces this client on mDNS.
class DiscoveryServer : public QObject, public QueryResultReceiver {
    Q_OBJECT
public:
    static const QString ServiceType; // "_quorvel._udp"
    static const QString OwnServiceName; // "QuorvelClient"
    static constexpr quint16 QueryPort = ProtocolPort::Discovery;

    // One information query of one address (or of every device, with the broadcast
    // address); reports to the owner's onQueryServerResult on the pool thread.
    class ServerInfoGetter : public QRunnable {
    public:
        // clientName: how this client introduces itself in the question.
        ServerInfoGetter(QueryResultReceiver* owner, const QHostAddress& host, quint16 port, const QString& clientName);
        void run() override;
        ServerContent getServerContent(const char* data, quint64 size, bool& ok) const;
        static QtJson::JsonObject buildQueryRequest(const QString& clientName);

    private:
        QueryResultReceiver* m_owner;
        QHostAddress m_host;
        quint16 m_port;
        QString m_clientName;
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

    // The live instance (made by the application context), null without one.
    static DiscoveryServer* instance();

    // The settings give this client's name, the database the hand-added devices; both
    // outlive the server. The destructor stops the updater and waits for the queries it
    // started.
    DiscoveryServer(const ClientSettings& settings, QuorvelClientDatabase& database);
    ~DiscoveryServer() override;

    bool startDiscovery();
    bool stopDiscovery();
    bool isStarted() const { return m_started; }

    QString clientName() const;
    QList<ServerContent> manualDevices() const;

    // The devices now in the table.
    QList<ServerContent> devices() const;
    // The addresses that mDNS resolution gave (to tell how a device was found).
    QList<QHostAddress> mdnsAddresses() const { return m_serviceAddresses.values(); }
    // How a device at this address was found: "manual", "mdns" or "broadcast".
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
    struct Change {
        enum Kind { Discovered, Disappeared, PassEnded } kind;
        ServerContent server;
        int count = 0;
    };

    void queryAllDevices();
    void query(const QHostAddress& host, quint16 port);
    void clearInvalidServer();
    void onUpdate();
    void emitChanges();

    QList<Change> m_changes; // guarded by the table's lock
    bool m_emitting = false; // as well
    QMutex m_queriesLock;
    QWaitCondition m_queriesDone;
    int m_queries = 0; // started and not yet ended
    bool m_closing = false; // no more queries; guarded by m_queriesLock

    const ClientSettings& m_settings;
    QuorvelClientDatabase& m_database;
    bool m_started = false;
    QxtServiceBrowser* m_browser = nullptr;
    QxtDiscoverableService* m_service = nullptr;
    QHash<QString, ServerContent> m_deviceTable;
    AutoUpdater* m_updater = nullptr;
    QHash<QString, QHostAddress> m_serviceAddresses;
};
