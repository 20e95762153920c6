#include "quorvel/discovery/QxtDiscoverableService.h"

#include <QTimer>
#include <avahi-client/lookup.h>
#include <avahi-client/publish.h>
#include <avahi-common/address.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>

#include "quorvel/discovery/ZeroconfClient.h"

QxtDiscoverableService::QxtDiscoverableService(
    ZeroconfClient& zeroconf, const QString& serviceType, const QString& serviceName, QObject* parent)
    : QObject(parent)
    , QxtDiscoverableServiceName(serviceName, serviceType)
    , m_zeroconf(&zeroconf)
{
    ZeroconfClient* zc = m_zeroconf;
    connect(zc, &ZeroconfClient::running, this, [this] {
        if (m_wantRegistered)
            createEntryGroup();
    });
    connect(zc, &ZeroconfClient::lost, this, [this] {
        // The daemon dropped our objects with the connection.
        m_group = nullptr;
        m_resolver = nullptr;
        m_registered = false;
    });
}

QxtDiscoverableService::~QxtDiscoverableService()
{
    freeResolver();
    freeEntryGroup();
}

void QxtDiscoverableService::freeResolver()
{
    if (m_resolver && m_zeroconf && m_zeroconf->isRunning())
        avahi_service_resolver_free(m_resolver);
    m_resolver = nullptr;
}

void QxtDiscoverableService::freeEntryGroup()
{
    if (m_group && m_zeroconf && m_zeroconf->isRunning())
        avahi_entry_group_free(m_group);
    m_group = nullptr;
    m_registered = false;
}

void QxtDiscoverableService::resolve(bool)
{
    ZeroconfClient* zc = m_zeroconf;
    if (!zc->isRunning()) {
        const int code = zc->lastError() ? zc->lastError() : AVAHI_ERR_NO_DAEMON;
        QTimer::singleShot(0, this, [this, code] { emit lookupError(code); });
        return;
    }
    freeResolver();
    const QByteArray domain = this->domain().toUtf8();
    // IPv4 only, both for the mDNS exchange and for the address: every socket of the
    // protocol is IPv4. Over IPv6 a stock daemon answers with AAAA records alone (often a
    // link-local address that an IPv4 socket cannot reach), and a resolver left to choose
    // may settle on that transport.
    m_resolver = avahi_service_resolver_new(
        m_zeroconf->client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, serviceName().toUtf8().constData(),
        serviceType().toUtf8().constData(), domain.isEmpty() ? nullptr : domain.constData(), AVAHI_PROTO_INET,
        AvahiLookupFlags(0),
        [](AvahiServiceResolver*, AvahiIfIndex, AvahiProtocol, AvahiResolverEvent event, const char*, const char*,
            const char*, const char*, const AvahiAddress* a, uint16_t port, AvahiStringList*, AvahiLookupResultFlags,
            void* self) {
            char text[AVAHI_ADDRESS_STR_MAX] = {0};
            if (event == AVAHI_RESOLVER_FOUND && a)
                avahi_address_snprint(text, sizeof text, a);
            static_cast<QxtDiscoverableService*>(self)->onResolved(int(event), text, port);
        },
        this);
    if (!m_resolver) {
        const int code = avahi_client_errno(m_zeroconf->client());
        QTimer::singleShot(0, this, [this, code] { emit lookupError(code); });
    }
}

void QxtDiscoverableService::onResolved(int event, const char* address, quint16 port)
{
    const QHostAddress host(QString::fromLatin1(address));
    if (event == AVAHI_RESOLVER_FOUND && host.protocol() == QAbstractSocket::IPv4Protocol) {
        freeResolver();
        m_port = port;
        emit lookuped(host, int(port));
        return;
    }
    const int code = avahi_client_errno(m_zeroconf->client());
    freeResolver();
    emit lookupError(code ? code : AVAHI_ERR_TIMEOUT);
}

void QxtDiscoverableService::registerService(bool noAutoRename)
{
    m_wantRegistered = true;
    m_noAutoRename = noAutoRename;
    ZeroconfClient* zc = m_zeroconf;
    if (!zc->isRunning()) {
        const int code = zc->lastError() ? zc->lastError() : AVAHI_ERR_NO_DAEMON;
        QTimer::singleShot(0, this, [this, code] { emit registrationError(code); });
        return;
    }
    createEntryGroup();
}

void QxtDiscoverableService::releaseService()
{
    m_wantRegistered = false;
    freeEntryGroup();
}

void QxtDiscoverableService::createEntryGroup()
{
    freeEntryGroup();
    AvahiClient* client = m_zeroconf->client();
    m_group = avahi_entry_group_new(
        client,
        [](AvahiEntryGroup*, AvahiEntryGroupState state, void* self) {
            static_cast<QxtDiscoverableService*>(self)->onGroupState(int(state));
        },
        this);
    int error = m_group ? 0 : avahi_client_errno(client);
    if (m_group) {
        error = avahi_entry_group_add_service(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0),
            serviceName().toUtf8().constData(), serviceType().toUtf8().constData(), nullptr, nullptr, m_port, nullptr);
        if (error == AVAHI_ERR_COLLISION && !m_noAutoRename) {
            char* alternative = avahi_alternative_service_name(serviceName().toUtf8().constData());
            setServiceName(QString::fromUtf8(alternative));
            avahi_free(alternative);
            QTimer::singleShot(0, this, &QxtDiscoverableService::createEntryGroup);
            return;
        }
        if (error == 0)
            error = avahi_entry_group_commit(m_group);
    }
    if (error != 0) {
        freeEntryGroup();
        QTimer::singleShot(0, this, [this, error] { emit registrationError(error); });
    }
}

void QxtDiscoverableService::onGroupState(int state)
{
    switch (AvahiEntryGroupState(state)) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        m_registered = true;
        emit registered();
        break;
    case AVAHI_ENTRY_GROUP_COLLISION:
        if (m_noAutoRename) {
            QTimer::singleShot(0, this, [this] {
                freeEntryGroup();
                emit registrationError(AVAHI_ERR_COLLISION);
            });
        } else {
            char* alternative = avahi_alternative_service_name(serviceName().toUtf8().constData());
            setServiceName(QString::fromUtf8(alternative));
            avahi_free(alternative);
            QTimer::singleShot(0, this, &QxtDiscoverableService::createEntryGroup);
        }
        break;
    case AVAHI_ENTRY_GROUP_FAILURE: {
        const int code = avahi_client_errno(m_zeroconf->client());
        QTimer::singleShot(0, this, [this, code] {
            freeEntryGroup();
            emit registrationError(code);
        });
        break;
    }
    case AVAHI_ENTRY_GROUP_UNCOMMITED:
    case AVAHI_ENTRY_GROUP_REGISTERING: break;
    }
}
