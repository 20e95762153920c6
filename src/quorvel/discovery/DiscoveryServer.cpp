#include "quorvel/discovery/DiscoveryServer.h"

#include <QDateTime>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QThreadPool>
#include <QTimer>
#include <QUdpSocket>
#include <memory>

#include "quorvel/discovery/QxtDiscoverableService.h"
#include "quorvel/discovery/QxtServiceBrowser.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/storage/ClientSettings.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"

const QString DiscoveryServer::ServiceType = QStringLiteral("_quorvel._udp");
const QString DiscoveryServer::OwnServiceName = QStringLiteral("QuorvelClient");

namespace {
// Guards the singleton's creation and every access to the device table.
QRecursiveMutex g_discoveryMutex;
DiscoveryServer* g_instance = nullptr;
const char* const Tag = "DiscoveryServer";
const QHostAddress Broadcast(QHostAddress::Broadcast);

// 255.255.255.255 leaves only by the interface of the default route: every other up IPv4
// LAN gets the query at its own broadcast address.
QList<QHostAddress> otherLanBroadcasts()
{
    // Connecting a UDP socket sends nothing; it shows the address the route picks.
    QUdpSocket probe;
    probe.connectToHost(Broadcast, DiscoveryServer::QueryPort);
    const QHostAddress defaultSource = probe.localAddress();
    QList<QHostAddress> targets;
    const auto wanted = QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        if ((nic.flags() & wanted) != wanted || (nic.flags() & QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = nic.addressEntries();
        QList<QHostAddress> found;
        bool isDefault = false;
        for (const QNetworkAddressEntry& entry : entries) {
            isDefault = isDefault || entry.ip() == defaultSource;
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.broadcast().isNull()
                && !found.contains(entry.broadcast()))
                found.append(entry.broadcast());
        }
        if (!isDefault)
            targets += found;
    }
    return targets;
}
} // namespace

// ---------------------------------------------------------------- ServerInfoGetter

DiscoveryServer::ServerInfoGetter::ServerInfoGetter(
    QueryResultReceiver* owner, const QHostAddress& host, quint16 port, const QString& clientName)
    : m_owner(owner)
    , m_host(host)
    , m_port(port)
    , m_clientName(clientName)
{
}

QtJson::JsonObject DiscoveryServer::ServerInfoGetter::buildQueryRequest(const QString& clientName)
{
    QtJson::JsonObject request;
    request.insert(ProtocolKey::Name, clientName);
    request.insert(ProtocolKey::Version, QString(ProtocolValue::ProtocolVersion));
    request.insert(ProtocolKey::Os, ProtocolDefinedJsonObject::osName());
    request.insert(ProtocolKey::Uuid, ProtocolDefinedJsonObject::clientUuid());
    request.insert(ProtocolKey::Type, QString(ProtocolValue::Client));
    return request;
}

ServerContent DiscoveryServer::ServerInfoGetter::getServerContent(const char* data, quint64 size, bool& ok) const
{
    const QVariant parsed = QtJson::parse(QString::fromUtf8(data, int(size)), ok);
    if (!ok) {
        qCritical("[E][%s] Parse json error.", Tag);
        return ServerContent();
    }
    const QtJson::JsonObject reply = parsed.toMap();
    ServerContent content;
    content.address = m_host;
    content.port = m_port;
    content.lastSeen = QDateTime::currentMSecsSinceEpoch();
    content.name = reply.value(ProtocolKey::Name).toString();
    content.version = reply.value(ProtocolKey::Version).toString();
    content.os = reply.value(ProtocolKey::Os).toString();
    content.uuid = reply.value(ProtocolKey::Uuid).toString();
    content.type = reply.value(ProtocolKey::Type, QString(ProtocolValue::Server)).toString();
    const QVariantList support = reply.value(ProtocolKey::Support).toList();
    for (const QVariant& feature : support)
        content.addSupport(feature.toString());
    content.valid = true;
    return content;
}

void DiscoveryServer::ServerInfoGetter::run()
{
    const bool broadcast = m_host == Broadcast;
    ServerContent record;
    record.address = m_host;
    record.port = m_port;
    bool found = false;

    QUdpSocket socket;
    socket.bind(QHostAddress::AnyIPv4, 0);
    bool serialized = false;
    const QByteArray request = QtJson::serialize(buildQueryRequest(m_clientName), serialized);
    bool sent = serialized && socket.writeDatagram(request, m_host, m_port) != -1;
    if (serialized && broadcast) {
        for (const QHostAddress& target : otherLanBroadcasts())
            sent = socket.writeDatagram(request, target, m_port) != -1 || sent;
    }
    if (sent) {
        const int waitMs = Timing::current().infoReplyWaitMs;
        for (;;) {
            if (!socket.hasPendingDatagrams() && !socket.waitForReadyRead(waitMs))
                break;
            if (!socket.hasPendingDatagrams())
                continue; // readiness without a datagram (an ICMP error): wait again
            const QNetworkDatagram datagram = socket.receiveDatagram();
            const QByteArray data = datagram.data();
            bool ok = false;
            record = getServerContent(data.constData(), quint64(data.size()), ok);
            if (broadcast) {
                if (ok) {
                    record.address = datagram.senderAddress();
                    m_owner->onQueryServerResult(record, true, false);
                    found = true;
                }
                continue;
            }
            if (ok && datagram.senderAddress().isEqual(m_host, QHostAddress::ConvertV4MappedToIPv4)) {
                found = true;
            } else if (ok) {
                qWarning("[W][%s] The host in mDns is %s:%d, but received packet from host %s:%d.", Tag,
                    qPrintable(m_host.toString()), m_port, qPrintable(datagram.senderAddress().toString()),
                    datagram.senderPort());
            }
            break;
        }
    }
    socket.close();
    m_owner->onQueryServerResult(record, found, broadcast);
}

// ---------------------------------------------------------------- AutoUpdater

DiscoveryServer::AutoUpdater::AutoUpdater(DiscoveryServer* server)
    : m_server(server)
{
}

DiscoveryServer::AutoUpdater::~AutoUpdater()
{
    // Without a time limit: an updater left running would ask on behalf of a server
    // that is gone.
    quit();
    wait();
}

void DiscoveryServer::AutoUpdater::run()
{
    QTimer timer;
    timer.setInterval(Timing::current().discoveryUpdatePeriodMs);
    // The timer is the context, not this object (which lives on the creator's thread):
    // the update runs here.
    connect(&timer, &QTimer::timeout, &timer, [this] { onUpdate(); });
    timer.start();
    exec();
}

void DiscoveryServer::AutoUpdater::onUpdate()
{
    m_server->onUpdate();
}

// ---------------------------------------------------------------- DiscoveryServer

DiscoveryServer* DiscoveryServer::instance()
{
    QMutexLocker lock(&g_discoveryMutex);
    return g_instance;
}

DiscoveryServer::DiscoveryServer(const ClientSettings& settings, QuorvelClientDatabase& database)
    : m_settings(settings)
    , m_database(database)
{
    {
        QMutexLocker lock(&g_discoveryMutex);
        if (!g_instance)
            g_instance = this;
    }
    ServerContent::registerMetaTypes();
    m_updater = new AutoUpdater(this);
    m_updater->start(QThread::InheritPriority);
}

DiscoveryServer::~DiscoveryServer()
{
    delete m_updater;
    stopDiscovery();
    // The queries in flight report to this object: wait for them (each ends within its
    // reply wait).
    QMutexLocker lock(&m_queriesLock);
    m_closing = true;
    while (m_queries > 0)
        m_queriesDone.wait(&m_queriesLock);
    lock.unlock();
    QMutexLocker instanceLock(&g_discoveryMutex);
    if (g_instance == this)
        g_instance = nullptr;
}

bool DiscoveryServer::startDiscovery()
{
    QMutexLocker lock(&g_discoveryMutex);
    if (!m_started) {
        m_browser = new QxtServiceBrowser(ServiceType, this);
        connect(m_browser, &QxtServiceBrowser::browsingFailed, this, &DiscoveryServer::onServiceBrowsingFailed,
            Qt::UniqueConnection);
        connect(
            m_browser, &QxtServiceBrowser::serviceAdded, this, &DiscoveryServer::onServiceAdded, Qt::UniqueConnection);
        connect(m_browser, &QxtServiceBrowser::serviceRemoved, this, &DiscoveryServer::onServiceRemoved,
            Qt::UniqueConnection);
        m_browser->browse();
        m_service = new QxtDiscoverableService(ServiceType, OwnServiceName, m_browser);
        m_service->setPort(QueryPort);
        connect(m_service, &QxtDiscoverableService::registered, this, &DiscoveryServer::onServiceRegistered);
        connect(
            m_service, &QxtDiscoverableService::registrationError, this, &DiscoveryServer::onServiceRegistrationError);
        m_service->registerService(false);
    }
    m_started = true;
    queryAllDevices();
    return true;
}

bool DiscoveryServer::stopDiscovery()
{
    QMutexLocker lock(&g_discoveryMutex);
    if (m_started) {
        m_service->releaseService();
        delete m_service;
        m_service = nullptr;
        m_browser->stopBrowsing();
        delete m_browser;
        m_browser = nullptr;
        m_started = false;
    }
    return true;
}

QString DiscoveryServer::clientName() const
{
    return m_settings.clientName();
}

QList<ServerContent> DiscoveryServer::manualDevices() const
{
    return m_database.getManualDevices();
}

QString DiscoveryServer::foundBy(const QHostAddress& address) const
{
    for (const ServerContent& m : manualDevices()) {
        if (m.address == address)
            return QStringLiteral("manual");
    }
    return m_serviceAddresses.values().contains(address) ? QStringLiteral("mdns") : QStringLiteral("broadcast");
}

QList<ServerContent> DiscoveryServer::devices() const
{
    QMutexLocker lock(&g_discoveryMutex);
    return m_deviceTable.values();
}

void DiscoveryServer::query(const QHostAddress& host, quint16 port)
{
    {
        QMutexLocker lock(&m_queriesLock);
        if (m_closing)
            return;
        ++m_queries;
    }
    // Counted down when the query is done with, whether it ran or its pool dropped it
    // unrun (a pool that is cleared at shutdown deletes what waits in it).
    const std::shared_ptr<void> done(nullptr, [this](void*) {
        QMutexLocker lock(&m_queriesLock);
        if (--m_queries == 0)
            m_queriesDone.wakeAll();
    });
    QThreadPool::globalInstance()->start(
        [this, host, port, done] { ServerInfoGetter(this, host, port, m_settings.clientName()).run(); });
}

void DiscoveryServer::queryAllDevices()
{
    const QList<ServerContent> manual = manualDevices();
    for (const ServerContent& device : manual)
        query(device.address, quint16(device.port));
    for (const QHostAddress& address : qAsConst(m_serviceAddresses))
        query(address, QueryPort);
    query(Broadcast, QueryPort);
}

void DiscoveryServer::onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast)
{
    {
        QMutexLocker lock(&g_discoveryMutex);
        if (isBroadcast) {
            clearInvalidServer();
            m_changes.append({Change::PassEnded, ServerContent(), m_deviceTable.size()});
        } else {
            const QString key = content.address.toString();
            auto it = m_deviceTable.find(key);
            if (found && it == m_deviceTable.end()) {
                m_deviceTable.insert(key, content);
                m_changes.append({Change::Discovered, content});
                qDebug("[I][%s] Quorvel device \"%s\" discoveried: %s", Tag, qUtf8Printable(content.name),
                    qPrintable(key));
            } else if (found) {
                const ServerContent old = it.value();
                it.value() = content;
                if (old != content) {
                    m_changes.append({Change::Disappeared, old});
                    m_changes.append({Change::Discovered, content});
                    qDebug("[I][%s] Quorvel device \"%s\" changed: %s", Tag, qUtf8Printable(content.name),
                        qPrintable(key));
                }
            } else if (it != m_deviceTable.end()
                && QDateTime::currentMSecsSinceEpoch() - it.value().lastSeen > Timing::current().discoveryDropAgeMs) {
                const ServerContent gone = it.value();
                m_deviceTable.erase(it);
                m_changes.append({Change::Disappeared, gone});
                qDebug(
                    "[I][%s] Quorvel device \"%s\" disappeared: %s", Tag, qUtf8Printable(gone.name), qPrintable(key));
            }
        }
    }
    emitChanges();
}

void DiscoveryServer::emitChanges()
{
    // One thread at a time empties the list, so receivers see the changes in table
    // order; none of them runs under the table's lock, so a receiver may call back in
    // (devices(), or hand over to a thread that does) without a deadlock.
    for (;;) {
        QList<Change> batch;
        {
            QMutexLocker lock(&g_discoveryMutex);
            if (m_emitting || m_changes.isEmpty())
                return;
            m_emitting = true;
            batch.swap(m_changes);
        }
        for (const Change& change : qAsConst(batch)) {
            switch (change.kind) {
            case Change::Discovered: emit serverDiscoveried(change.server); break;
            case Change::Disappeared: emit serverDisappeared(change.server); break;
            case Change::PassEnded: emit serverDiscoeryEnd(change.count); break;
            }
        }
        QMutexLocker lock(&g_discoveryMutex);
        m_emitting = false;
    }
}

// Called with the table's lock held; the changes go out with the caller's.
void DiscoveryServer::clearInvalidServer()
{
    QMutexLocker lock(&g_discoveryMutex);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto it = m_deviceTable.begin(); it != m_deviceTable.end();) {
        if (now - it.value().lastSeen > Timing::current().discoveryDropAgeMs) {
            m_changes.append({Change::Disappeared, it.value()});
            qDebug("[I][%s] Quorvel device disappeared: %s, name: %s.", Tag, qPrintable(it.key()),
                qUtf8Printable(it.value().name));
            it = m_deviceTable.erase(it);
        } else {
            ++it;
        }
    }
}

void DiscoveryServer::onUpdate()
{
    QMutexLocker lock(&g_discoveryMutex);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const ServerContent& record : qAsConst(m_deviceTable)) {
        if (now - record.lastSeen >= Timing::current().discoveryRequeryAgeMs)
            query(record.address, quint16(record.port));
    }
}

void DiscoveryServer::onServiceBrowsingFailed(int errorCode)
{
    qCritical("[E][%s] Service browsing fail: %d", Tag, errorCode);
}

void DiscoveryServer::onServiceAdded(const QString& serviceName, const QString& domain)
{
    auto* service = new QxtDiscoverableService(m_browser->serviceType(), serviceName, m_browser);
    service->setDomain(domain);
    connect(service, &QxtDiscoverableService::lookuped, this, &DiscoveryServer::onLookuped, Qt::UniqueConnection);
    connect(service, &QxtDiscoverableService::lookupError, this, &DiscoveryServer::onLookupError, Qt::UniqueConnection);
    service->resolve(false);
}

void DiscoveryServer::onLookuped(const QHostAddress& address, int port)
{
    auto* service = qobject_cast<QxtDiscoverableService*>(sender());
    const QString name = service ? service->serviceName() : QString();
    qDebug("[I][%s] mDns service \"%s\" added: %s:%d", Tag, qUtf8Printable(name), qPrintable(address.toString()), port);
    query(address, quint16(port));
    m_serviceAddresses.insert(name, address);
    if (service)
        service->deleteLater();
}

void DiscoveryServer::onLookupError(int code)
{
    qCritical("[E][%s] Service lookup fail: %d", Tag, code);
    if (QObject* service = sender())
        service->deleteLater();
}

void DiscoveryServer::onServiceRemoved(const QString& serviceName, const QString&)
{
    const QHostAddress address = m_serviceAddresses.value(serviceName);
    if (address.isNull()) {
        qWarning("[W][%s] mDns service \"%s\" removed, but it doesn't have the ip.", Tag, qUtf8Printable(serviceName));
        return;
    }
    m_serviceAddresses.remove(serviceName);
    qDebug("[I][%s] mDns service \"%s\" removed, %s:%d", Tag, qUtf8Printable(serviceName),
        qPrintable(address.toString()), QueryPort);
    query(address, QueryPort);
}

void DiscoveryServer::onServiceRegistered()
{
    qDebug("[I][%s] Service register success.", Tag);
}

void DiscoveryServer::onServiceRegistrationError(int code)
{
    qCritical("[E][%s] Service register fail: %d", Tag, code);
}
