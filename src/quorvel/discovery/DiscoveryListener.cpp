#include "quorvel/discovery/DiscoveryListener.h"

#include <QCoreApplication>
#include <QMutexLocker>
#include <QNetworkDatagram>
#include <QThreadPool>
#include <QTimer>
#include <QUdpSocket>

#include "quorvel/protocol/ListenPort.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/storage/ClientSettings.h"
#include "quorvel/tasks/Timing.h"

namespace {
const char* const Tag = "DiscoverListener";
} // namespace

DiscoveryListener::DiscoveryListener(const ClientSettings& settings, QThreadPool& pool)
    : m_settings(settings)
    , m_pool(pool)
{
}

DiscoveryListener::~DiscoveryListener()
{
    stop();
}

QtJson::JsonObject DiscoveryListener::selfDescription() const
{
    return ProtocolDefinedJsonObject::clientInfo(m_settings.clientName());
}

void DiscoveryListener::stop()
{
    quit();
    wait();
}

ServerContent DiscoveryListener::knownHost(const QString& address) const
{
    QMutexLocker lock(&m_knownHostsLock);
    return m_knownHosts.value(address);
}

void DiscoveryListener::setKnownHost(const QString& address, const ServerContent& record)
{
    ServerContent kept = record;
    for (QString* text : {&kept.uuid, &kept.name, &kept.version, &kept.os, &kept.type})
        text->truncate(MaxKnownText);
    QMutexLocker lock(&m_knownHostsLock);
    if (m_knownHosts.contains(address))
        m_knownOrder.removeOne(address);
    else if (m_knownHosts.size() >= MaxKnownHosts)
        m_knownHosts.remove(m_knownOrder.takeFirst());
    m_knownHosts.insert(address, kept);
    m_knownOrder.append(address);
}

void DiscoveryListener::run()
{
    QUdpSocket socket;
    QTimer retry;
    retry.setSingleShot(true);
    const auto bindOnce = [&] {
        QString error;
        if (ListenPort::bind(socket, Port, &error)) {
            // Read here, on the listener's own thread: the socket belongs to it.
            connect(
                &socket, &QUdpSocket::readyRead, &socket, [this, &socket] { readPending(&socket); },
                Qt::UniqueConnection);
            emit listening();
            return;
        }
        qCritical("[E][%s] Socket bind error: %s", Tag, qUtf8Printable(error));
        emit bindFailed(Port, error);
        retry.start(Timing::current().listenerRebindMs);
    };
    connect(&retry, &QTimer::timeout, &socket, bindOnce);
    bindOnce();
    exec();
}

void DiscoveryListener::readPending(QUdpSocket* socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            continue;
        m_pool.start(
            new ReplyDiscovery(this, datagram.data(), datagram.senderAddress(), quint16(datagram.senderPort())));
    }
}

ReplyDiscovery::ReplyDiscovery(
    DiscoveryListener* owner, const QByteArray& data, const QHostAddress& sender, quint16 senderPort)
    : m_owner(owner)
    , m_data(data)
    , m_sender(sender)
    , m_senderPort(senderPort)
{
}

bool ReplyDiscovery::isAcceptedVersion(const QString& version)
{
    QString number = version.toLower();
    number.remove(QLatin1Char('v'));
    bool ok = false;
    const double value = number.toDouble(&ok);
    return !ok || value >= 1.0;
}

void ReplyDiscovery::run()
{
    bool ok = false;
    const QVariant parsed = QtJson::parse(QString::fromUtf8(m_data.constData(), m_data.size()), ok);
    if (!ok) {
        qCritical("[E][%s] ReplyDiscovery: pase json fail.", Tag);
        return;
    }
    const QtJson::JsonObject question = parsed.toMap();
    ServerContent record;
    record.version = question.value(ProtocolKey::Version).toString();
    record.uuid = question.value(ProtocolKey::Uuid).toString();
    record.os = question.value(ProtocolKey::Os).toString();
    record.address = m_sender;
    record.type = question.value(ProtocolKey::Type, QString(ProtocolValue::Server)).toString();

    if (!isAcceptedVersion(record.version))
        return;
    if (record.uuid.isEmpty() || record.uuid == ProtocolDefinedJsonObject::clientUuid())
        return; // no identity, or our own broadcast coming back

    bool serialized = false;
    const QByteArray answer = QtJson::serialize(m_owner->selfDescription(), serialized);
    if (!serialized) {
        qCritical("[E][%s] ReplyDiscovery: serialize json fail.", Tag);
        return;
    }
    QUdpSocket socket;
    if (socket.writeDatagram(answer, m_sender, m_senderPort) == -1) {
        qCritical("[E][%s] ReplyDiscovery: send data fail.", Tag);
        return;
    }
    m_owner->setKnownHost(m_sender.toString(), record);
}
