#include "quorvel/discovery/ZeroconfClient.h"

#include <QTimer>
#include <avahi-client/client.h>
#include <avahi-common/error.h>

#include "quorvel/discovery/AvahiQtPoll.h"

namespace {
constexpr int RetryMs = 5000;
}

ZeroconfClient::ZeroconfClient(QObject* parent)
    : QObject(parent)
{
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    m_retry->setInterval(RetryMs);
    connect(m_retry, &QTimer::timeout, this, &ZeroconfClient::connectToDaemon);
    connectToDaemon();
}

ZeroconfClient::~ZeroconfClient()
{
    if (m_client)
        avahi_client_free(m_client);
}

bool ZeroconfClient::isRunning() const
{
    return m_running;
}

QString ZeroconfClient::lastErrorText() const
{
    return QString::fromUtf8(avahi_strerror(m_lastError));
}

void ZeroconfClient::connectToDaemon()
{
    if (m_client) {
        avahi_client_free(m_client);
        m_client = nullptr;
    }
    int error = 0;
    // NO_FAIL: a daemon that is not there yet is waited for; only a missing system bus
    // makes this fail, and then we try again later.
    m_client = avahi_client_new(
        AvahiQtPoll::forCurrentThread(), AVAHI_CLIENT_NO_FAIL,
        [](AvahiClient* c, AvahiClientState state, void* self) { onStateChanged(c, int(state), self); }, this, &error);
    if (!m_client) {
        // Said once: the retries every few seconds repeat it only when the cause changes.
        if (error != m_lastError)
            qWarning("[W][%s] mDNS is not available: %s", "ZeroconfClient", avahi_strerror(error));
        m_lastError = error;
        m_retry->start();
    }
}

void ZeroconfClient::onStateChanged(AvahiClient* client, int state, void* self)
{
    auto* that = static_cast<ZeroconfClient*>(self);
    switch (AvahiClientState(state)) {
    case AVAHI_CLIENT_S_RUNNING:
        that->m_lastError = 0;
        if (!that->m_running) {
            that->m_running = true;
            emit that->running();
        }
        break;
    case AVAHI_CLIENT_S_REGISTERING:
    case AVAHI_CLIENT_S_COLLISION: break;
    case AVAHI_CLIENT_CONNECTING:
        that->m_lastError = AVAHI_ERR_NO_DAEMON;
        if (that->m_running) {
            that->m_running = false;
            emit that->lost();
        } else {
            qWarning("[W][%s] Waiting for avahi-daemon.", "ZeroconfClient");
        }
        break;
    case AVAHI_CLIENT_FAILURE: {
        that->m_lastError = avahi_client_errno(client);
        const bool wasRunning = that->m_running;
        that->m_running = false;
        qWarning("[W][%s] avahi-daemon connection failed: %s", "ZeroconfClient", avahi_strerror(that->m_lastError));
        if (wasRunning)
            emit that->lost();
        // The client object is dead; a new one waits for the daemon to come back.
        QTimer::singleShot(0, that, &ZeroconfClient::connectToDaemon);
        break;
    }
    }
}
