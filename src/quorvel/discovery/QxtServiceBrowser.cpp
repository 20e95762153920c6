#include "quorvel/discovery/QxtServiceBrowser.h"

#include <QTimer>
#include <avahi-client/lookup.h>
#include <avahi-common/error.h>

#include "quorvel/discovery/ZeroconfClient.h"

QxtServiceBrowser::QxtServiceBrowser(ZeroconfClient& zeroconf, const QString& serviceType, QObject* parent)
    : QObject(parent)
    , m_zeroconf(&zeroconf)
    , m_serviceType(serviceType)
{
    ZeroconfClient* zc = m_zeroconf;
    connect(zc, &ZeroconfClient::running, this, [this] {
        if (m_wanted)
            createBrowser();
    });
    connect(zc, &ZeroconfClient::lost, this, [this] {
        // The daemon's objects are gone; it announces everything afresh when it returns.
        m_browser = nullptr;
        m_instances.clear();
    });
}

QxtServiceBrowser::~QxtServiceBrowser()
{
    freeBrowser();
}

void QxtServiceBrowser::browse()
{
    m_wanted = true;
    ZeroconfClient* zc = m_zeroconf;
    if (!zc->isRunning()) {
        const int code = zc->lastError() ? zc->lastError() : AVAHI_ERR_NO_DAEMON;
        QTimer::singleShot(0, this, [this, code] { emit browsingFailed(code); });
        return;
    }
    createBrowser();
}

void QxtServiceBrowser::stopBrowsing()
{
    m_wanted = false;
    freeBrowser();
    m_instances.clear();
}

void QxtServiceBrowser::freeBrowser()
{
    if (m_browser && m_zeroconf && m_zeroconf->isRunning())
        avahi_service_browser_free(m_browser);
    m_browser = nullptr;
}

void QxtServiceBrowser::createBrowser()
{
    freeBrowser();
    // Over IPv4 only, as the resolution that follows: a service seen only over IPv6 could
    // not be reached.
    m_browser = avahi_service_browser_new(
        m_zeroconf->client(), AVAHI_IF_UNSPEC, AVAHI_PROTO_INET, m_serviceType.toUtf8().constData(), nullptr,
        AvahiLookupFlags(0),
        [](AvahiServiceBrowser*, AvahiIfIndex, AvahiProtocol, AvahiBrowserEvent event, const char* name, const char*,
            const char* domain, AvahiLookupResultFlags,
            void* self) { static_cast<QxtServiceBrowser*>(self)->onBrowserEvent(int(event), name, domain); },
        this);
    if (!m_browser) {
        const int code = avahi_client_errno(m_zeroconf->client());
        QTimer::singleShot(0, this, [this, code] { emit browsingFailed(code); });
    }
}

void QxtServiceBrowser::onBrowserEvent(int event, const char* name, const char* domain)
{
    switch (AvahiBrowserEvent(event)) {
    case AVAHI_BROWSER_NEW: {
        const auto key = qMakePair(QString::fromUtf8(name), QString::fromUtf8(domain));
        if (m_instances[key]++ == 0)
            emit serviceAdded(key.first, key.second);
        break;
    }
    case AVAHI_BROWSER_REMOVE: {
        const auto key = qMakePair(QString::fromUtf8(name), QString::fromUtf8(domain));
        auto it = m_instances.find(key);
        if (it != m_instances.end() && --it.value() <= 0) {
            m_instances.erase(it);
            emit serviceRemoved(key.first, key.second);
        }
        break;
    }
    case AVAHI_BROWSER_FAILURE: emit browsingFailed(avahi_client_errno(m_zeroconf->client())); break;
    case AVAHI_BROWSER_CACHE_EXHAUSTED:
    case AVAHI_BROWSER_ALL_FOR_NOW: break;
    }
}
