#include "quorvel/discovery/DiscoveryServer.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <QUdpSocket>
#include <memory>

#include "quorvel/discovery/BroadcastTargets.h"
#include "quorvel/discovery/QxtDiscoverableService.h"
#include "quorvel/discovery/QxtServiceBrowser.h"
#include "quorvel/discovery/SelfAnnouncement.h"
#include "quorvel/discovery/ZeroconfClient.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/storage/ClientSettings.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"

const QString DiscoveryServer::ServiceType = QStringLiteral("_quorvel._udp");

namespace {
const char* const Tag = "DiscoveryServer";
const QHostAddress Broadcast(QHostAddress::Broadcast);

// The table's key of a record: its uuid, or its address for a party that gives none.
QString keyOf(const ServerContent& content)
{
    return content.uuid.isEmpty() ? QStringLiteral("@") + content.address.toString() : content.uuid;
}

// What answered is written to the database again after this long at the most, so that a
// device answering every 15 s does not cost a write each time.
constexpr qint64 RememberRewriteMs = 3600 * 1000;

// Ends a pass when its last part (the broadcast, the sweep of the ranges) has ended;
// forwards every answer to the server.
class PassPart : public QueryResultReceiver {
public:
    PassPart(QueryResultReceiver* server, std::shared_ptr<std::atomic_int> parts)
        : m_server(server)
        , m_parts(std::move(parts))
    {
    }
    void onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast) override
    {
        if (!isBroadcast)
            m_server->onQueryServerResult(content, found, false);
        else if (--*m_parts == 0)
            m_server->onQueryServerResult(ServerContent(), false, true);
    }

private:
    QueryResultReceiver* m_server;
    std::shared_ptr<std::atomic_int> m_parts;
};
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
    bool sent = false;
    if (serialized && broadcast) {
        const QList<BroadcastTargets::Interface> interfaces = BroadcastTargets::survey(m_interfaces);
        if (BroadcastTargets::limited(interfaces))
            sent = socket.writeDatagram(request, m_host, m_port) != -1;
        for (const QHostAddress& target : BroadcastTargets::directed(interfaces))
            sent = socket.writeDatagram(request, target, m_port) != -1 || sent;
    } else if (serialized) {
        sent = socket.writeDatagram(request, m_host, m_port) != -1;
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

// ---------------------------------------------------------------- AddressSweep

DiscoveryServer::AddressSweep::AddressSweep(QueryResultReceiver* owner, const QList<QHostAddress>& targets,
    quint16 port, const QString& clientName, const std::atomic_bool* stop)
    : m_owner(owner)
    , m_targets(targets)
    , m_port(port)
    , m_clientName(clientName)
    , m_stop(stop)
{
}

void DiscoveryServer::AddressSweep::run()
{
    QUdpSocket socket;
    socket.bind(QHostAddress::AnyIPv4, 0);
    bool serialized = false;
    const QByteArray request = QtJson::serialize(ServerInfoGetter::buildQueryRequest(m_clientName), serialized);
    QSet<quint32> asked;
    for (const QHostAddress& a : qAsConst(m_targets))
        asked.insert(a.toIPv4Address());
    const auto drain = [&] {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram datagram = socket.receiveDatagram();
            bool converted = false;
            const quint32 from = datagram.senderAddress().toIPv4Address(&converted);
            // Only an asked address answering from the query port is a device.
            if (!converted || !asked.contains(from) || datagram.senderPort() != m_port)
                continue;
            const ServerInfoGetter parser(m_owner, QHostAddress(from), m_port, m_clientName);
            const QByteArray data = datagram.data();
            bool ok = false;
            const ServerContent record = parser.getServerContent(data.constData(), quint64(data.size()), ok);
            if (ok)
                m_owner->onQueryServerResult(record, true, false);
        }
    };
    const auto stopped = [this] { return m_stop && m_stop->load(); };
    // Datagram i leaves no sooner than i / rate seconds after the first.
    const qint64 rate = qMax(1, Timing::current().rangeQueriesPerSecond);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; serialized && i < m_targets.size() && !stopped(); ++i) {
        const qint64 dueNs = qint64(i) * 1000000000 / rate;
        for (qint64 left = dueNs - clock.nsecsElapsed(); left > 0; left = dueNs - clock.nsecsElapsed()) {
            if (socket.waitForReadyRead(int((left + 999999) / 1000000)))
                drain();
        }
        socket.writeDatagram(request, m_targets.at(i), m_port);
        ++m_sent;
    }
    m_sendingMs = clock.elapsed();
    // The last asked get the reply wait a single query gets.
    QElapsedTimer waiting;
    waiting.start();
    const int waitMs = Timing::current().infoReplyWaitMs;
    while (serialized && !stopped() && waiting.elapsed() < waitMs) {
        if (socket.waitForReadyRead(int(qMin<qint64>(100, waitMs - waiting.elapsed()))))
            drain();
    }
    drain();
    m_owner->onQueryServerResult(ServerContent(), false, true);
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

DiscoveryServer::DiscoveryServer(const ClientSettings& settings, QuorvelClientDatabase* database, QThreadPool& pool)
    : m_settings(settings)
    , m_database(database)
    , m_pool(pool)
{
    ServerContent::registerMetaTypes();
    m_updater = new AutoUpdater(this);
    m_updater->start(QThread::InheritPriority);
}

DiscoveryServer::~DiscoveryServer()
{
    m_stopping = true; // a sweep of a range stops between two datagrams
    delete m_updater;
    stopDiscovery();
    // The queries in flight report to this object: wait for them (each ends within its
    // reply wait).
    QMutexLocker lock(&m_queriesLock);
    m_closing = true;
    while (m_queries > 0)
        m_queriesDone.wait(&m_queriesLock);
}

bool DiscoveryServer::startDiscovery()
{
    if (!m_started) {
        // The daemon connection belongs to the thread that browses.
        m_zeroconf = new ZeroconfClient(this);
        m_browser = new QxtServiceBrowser(*m_zeroconf, ServiceType, this);
        connect(m_browser, &QxtServiceBrowser::browsingFailed, this, &DiscoveryServer::onServiceBrowsingFailed,
            Qt::UniqueConnection);
        connect(
            m_browser, &QxtServiceBrowser::serviceAdded, this, &DiscoveryServer::onServiceAdded, Qt::UniqueConnection);
        connect(m_browser, &QxtServiceBrowser::serviceRemoved, this, &DiscoveryServer::onServiceRemoved,
            Qt::UniqueConnection);
        m_browser->browse();
        m_service = new SelfAnnouncement(*m_zeroconf, m_browser);
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
    if (m_started) {
        m_service->releaseService();
        delete m_service;
        m_service = nullptr;
        m_browser->stopBrowsing();
        delete m_browser;
        m_browser = nullptr;
        delete m_zeroconf;
        m_zeroconf = nullptr;
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
    return m_database ? m_database->getManualDevices() : QList<ServerContent>();
}

void DiscoveryServer::setBroadcastInterfaces(const QStringList& names)
{
    m_broadcastInterfaces = names;
}

QStringList DiscoveryServer::broadcastInterfaces() const
{
    return m_broadcastInterfaces;
}

QString DiscoveryServer::foundBy(const QHostAddress& address) const
{
    for (const ManualTarget& t : m_manualTargets) {
        if (t.contains(address))
            return QStringLiteral("manual");
    }
    for (const QList<QHostAddress>& resolved : m_hostAddresses) {
        if (resolved.contains(address))
            return QStringLiteral("manual");
    }
    if (m_serviceAddresses.values().contains(address))
        return QStringLiteral("mdns");
    return m_rememberedAddresses.contains(address) ? QStringLiteral("remembered") : QStringLiteral("broadcast");
}

QList<ServerContent> DiscoveryServer::devices() const
{
    QMutexLocker lock(&m_discoveryMutex);
    QList<ServerContent> out;
    for (const Entry& e : m_deviceTable)
        out.append(e.record);
    return out;
}

void DiscoveryServer::startCounted(std::function<void()> work)
{
    {
        QMutexLocker lock(&m_queriesLock);
        if (m_closing)
            return;
        ++m_queries;
    }
    // Counted down when the work is done with, whether it ran or its pool dropped it
    // unrun (a pool that is cleared at shutdown deletes what waits in it).
    const std::shared_ptr<void> done(nullptr, [this](void*) {
        QMutexLocker lock(&m_queriesLock);
        if (--m_queries == 0)
            m_queriesDone.wakeAll();
    });
    m_pool.start([work, done] { work(); });
}

void DiscoveryServer::query(const QHostAddress& host, quint16 port)
{
    startCounted([this, host, port] { ServerInfoGetter(this, host, port, m_settings.clientName()).run(); });
}

void DiscoveryServer::queryAllDevices()
{
    const QList<ManualTarget> manual = m_database ? m_database->getManualTargets() : QList<ManualTarget>();
    m_manualTargets = manual;
    QSet<QString> asked;
    const auto ask = [&](const QHostAddress& address, quint16 port) {
        const QString key = QStringLiteral("%1 %2").arg(address.toString()).arg(port);
        if (!asked.contains(key)) {
            asked.insert(key);
            query(address, port);
        }
    };
    QList<QHostAddress> sweep;
    QSet<quint32> swept;
    for (const ManualTarget& target : manual) {
        switch (target.kind()) {
        case ManualTarget::Address: ask(target.address(), target.port()); break;
        case ManualTarget::Range:
            for (const QHostAddress& a : target.rangeAddresses()) {
                if (!swept.contains(a.toIPv4Address())) {
                    swept.insert(a.toIPv4Address());
                    sweep.append(a);
                }
            }
            break;
        case ManualTarget::Host: {
            // Looked up at every pass: the name may lead elsewhere since the last.
            const QString name = target.text();
            const quint16 port = target.port();
            QHostInfo::lookupHost(name, this, [this, name, port](const QHostInfo& info) {
                QList<QHostAddress> found;
                for (const QHostAddress& a : info.addresses()) {
                    if (a.protocol() == QAbstractSocket::IPv4Protocol && !found.contains(a))
                        found.append(a);
                }
                if (found.isEmpty())
                    qWarning("[W][%s] Host name \"%s\" has no IPv4 address: %s", Tag, qUtf8Printable(name),
                        qUtf8Printable(info.errorString()));
                m_hostAddresses.insert(name, found); // on this object's thread: the lookup's context
                for (const QHostAddress& a : qAsConst(found))
                    query(a, port);
            });
            break;
        }
        case ManualTarget::Invalid: break;
        }
    }
    for (const QHostAddress& address : qAsConst(m_serviceAddresses))
        ask(address, QueryPort);
    // The devices that answered lately, wherever they were: a laptop that changed networks
    // still finds the rooms it knew (when a route leads there).
    m_rememberedAddresses.clear();
    if (m_database) {
        const qint64 since = QDateTime::currentMSecsSinceEpoch() - Timing::current().rememberedDeviceMs;
        m_database->forgetDevicesSeenBefore(since);
        for (const ServerContent& known : m_database->rememberedDevices(since)) {
            if (swept.contains(known.address.toIPv4Address()))
                continue;
            m_rememberedAddresses.append(known.address);
            ask(known.address, quint16(known.port));
        }
    }
    // The pass ends (stale devices dropped, serverDiscoeryEnd) when both the broadcast and
    // the sweep of the ranges have ended.
    auto parts = std::make_shared<std::atomic_int>(sweep.isEmpty() ? 1 : 2);
    auto part = std::make_shared<PassPart>(this, parts);
    const QStringList interfaces = m_broadcastInterfaces;
    startCounted([this, part, interfaces] {
        ServerInfoGetter getter(part.get(), Broadcast, QueryPort, m_settings.clientName());
        getter.setInterfaces(interfaces);
        getter.run();
    });
    if (!sweep.isEmpty())
        startCounted([this, part, sweep] {
            AddressSweep(part.get(), sweep, QueryPort, m_settings.clientName(), &m_stopping).run();
        });
}

void DiscoveryServer::onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast)
{
    ServerContent toRemember;
    {
        QMutexLocker lock(&m_discoveryMutex);
        if (isBroadcast) {
            clearInvalidServer();
            m_changes.append({Change::PassEnded, ServerContent(), m_deviceTable.size()});
        } else if (found) {
            const QString address = content.address.toString();
            const QString key = keyOf(content);
            // An address now answering for another device (or giving a uuid at last).
            const QString before = m_addressKey.value(address);
            if (!before.isEmpty() && before != key)
                dropAddress(before, address);
            auto it = m_deviceTable.find(key);
            if (it == m_deviceTable.end()) {
                Entry entry;
                entry.record = content;
                entry.seen.insert(address, content.lastSeen);
                entry.ports.insert(address, quint16(content.port));
                m_deviceTable.insert(key, entry);
                m_changes.append({Change::Discovered, content});
                qDebug("[I][%s] Quorvel device \"%s\" discoveried: %s", Tag, qUtf8Printable(content.name),
                    qPrintable(address));
            } else {
                Entry& entry = it.value();
                entry.seen.insert(address, content.lastSeen);
                entry.ports.insert(address, quint16(content.port));
                const ServerContent old = entry.record;
                ServerContent updated = content;
                // Another address of the same device: it stays where it answered first.
                if (!old.address.isEqual(content.address, QHostAddress::ConvertV4MappedToIPv4)) {
                    updated.address = old.address;
                    updated.port = old.port;
                }
                updated.lastSeen = qMax(old.lastSeen, content.lastSeen);
                entry.record = updated;
                if (old != updated) {
                    m_changes.append({Change::Disappeared, old});
                    m_changes.append({Change::Discovered, updated});
                    qDebug("[I][%s] Quorvel device \"%s\" changed: %s", Tag, qUtf8Printable(updated.name),
                        qPrintable(updated.address.toString()));
                }
            }
            m_addressKey.insert(address, key);
            const QString remembered = QStringLiteral("%1 %2 %3").arg(content.uuid, address).arg(content.port);
            if (m_database && !content.uuid.isEmpty()
                && content.lastSeen - m_rememberedAt.value(remembered, 0) > RememberRewriteMs) {
                m_rememberedAt.insert(remembered, content.lastSeen);
                toRemember = content;
            }
        } else {
            const QString address = content.address.toString();
            const QString key = m_addressKey.value(address);
            auto it = m_deviceTable.find(key);
            if (it != m_deviceTable.end()
                && QDateTime::currentMSecsSinceEpoch() - it.value().seen.value(address)
                    > Timing::current().discoveryDropAgeMs)
                dropAddress(key, address);
        }
    }
    // Written outside the table's lock: the database may wait for another program.
    if (!toRemember.address.isNull())
        m_database->rememberDevice(toRemember, toRemember.lastSeen);
    emitChanges();
}

void DiscoveryServer::dropAddress(const QString& key, const QString& address)
{
    m_addressKey.remove(address);
    auto it = m_deviceTable.find(key);
    if (it == m_deviceTable.end())
        return;
    Entry& entry = it.value();
    entry.seen.remove(address);
    entry.ports.remove(address);
    if (entry.seen.isEmpty()) {
        const ServerContent gone = entry.record;
        m_deviceTable.erase(it);
        m_changes.append({Change::Disappeared, gone});
        qDebug("[I][%s] Quorvel device \"%s\" disappeared: %s", Tag, qUtf8Printable(gone.name), qPrintable(address));
        return;
    }
    if (entry.record.address.toString() != address)
        return;
    // The address shown went quiet while another answers: shown there from now on.
    QString latest;
    for (auto s = entry.seen.cbegin(); s != entry.seen.cend(); ++s) {
        if (latest.isEmpty() || s.value() > entry.seen.value(latest))
            latest = s.key();
    }
    const ServerContent old = entry.record;
    entry.record.address = QHostAddress(latest);
    entry.record.port = entry.ports.value(latest);
    m_changes.append({Change::Disappeared, old});
    m_changes.append({Change::Discovered, entry.record});
    qDebug("[I][%s] Quorvel device \"%s\" changed: %s", Tag, qUtf8Printable(old.name), qPrintable(latest));
}

void DiscoveryServer::emitChanges()
{
    // One thread at a time empties the list, so receivers see the changes in table
    // order; none of them runs under the table's lock, so a receiver may call back in
    // (devices(), or hand over to a thread that does) without a deadlock.
    for (;;) {
        QList<Change> batch;
        {
            QMutexLocker lock(&m_discoveryMutex);
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
        QMutexLocker lock(&m_discoveryMutex);
        m_emitting = false;
    }
}

// Called with the table's lock held; the changes go out with the caller's.
void DiscoveryServer::clearInvalidServer()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const int dropAge = Timing::current().discoveryDropAgeMs;
    QList<QPair<QString, QString>> quiet;
    for (auto it = m_deviceTable.begin(); it != m_deviceTable.end();) {
        Entry& entry = it.value();
        if (now - entry.record.lastSeen > dropAge) {
            m_changes.append({Change::Disappeared, entry.record});
            qDebug("[I][%s] Quorvel device disappeared: %s, name: %s.", Tag,
                qPrintable(entry.record.address.toString()), qUtf8Printable(entry.record.name));
            for (const QString& address : entry.seen.keys())
                m_addressKey.remove(address);
            it = m_deviceTable.erase(it);
            continue;
        }
        // Addresses of a device that still answers elsewhere.
        for (auto seen = entry.seen.cbegin(); seen != entry.seen.cend(); ++seen) {
            if (now - seen.value() > dropAge)
                quiet.append({it.key(), seen.key()});
        }
        ++it;
    }
    for (const auto& q : qAsConst(quiet))
        dropAddress(q.first, q.second); // never the last: the entry was seen lately
}

void DiscoveryServer::onUpdate()
{
    QMutexLocker lock(&m_discoveryMutex);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (const Entry& entry : qAsConst(m_deviceTable)) {
        for (auto s = entry.seen.cbegin(); s != entry.seen.cend(); ++s) {
            if (now - s.value() >= Timing::current().discoveryRequeryAgeMs)
                query(QHostAddress(s.key()), entry.ports.value(s.key()));
        }
    }
}

void DiscoveryServer::onServiceBrowsingFailed(int errorCode)
{
    qCritical("[E][%s] Service browsing fail: %d", Tag, errorCode);
}

void DiscoveryServer::onServiceAdded(const QString& serviceName, const QString& domain)
{
    auto* service = new QxtDiscoverableService(*m_zeroconf, m_browser->serviceType(), serviceName, m_browser);
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
