#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include "quorvel/discovery/QxtDiscoverableServiceName.h"

class ZeroconfClient;
struct AvahiEntryGroup;
struct AvahiServiceResolver;

// One mDNS service: resolved to an address and port, or registered (announced) on a
// port. A registration comes back by itself after avahi-daemon restarts.
class QxtDiscoverableService : public QObject, public QxtDiscoverableServiceName {
    Q_OBJECT
public:
    // zeroconf is the daemon connection of this thread; when it goes first, the daemon's
    // objects went with it.
    QxtDiscoverableService(
        ZeroconfClient& zeroconf, const QString& serviceType, const QString& serviceName, QObject* parent = nullptr);
    ~QxtDiscoverableService() override;

    quint16 port() const { return m_port; }
    void setPort(quint16 port) { m_port = port; }

    bool isRegistered() const { return m_registered; }

public slots:
    // Yields the service's IPv4 address; a service without one is a lookup error.
    void resolve(bool forceMulticast = false);
    void registerService(bool noAutoRename = false);
    void releaseService();

signals:
    void lookuped(const QHostAddress& address, int port);
    void lookupError(int code);
    void registered();
    void registrationError(int code);

private:
    void freeResolver();
    void createEntryGroup();
    void freeEntryGroup();
    void onResolved(int event, const char* address, quint16 port);
    void onGroupState(int state);

    QPointer<ZeroconfClient> m_zeroconf;
    quint16 m_port = 0;
    bool m_wantRegistered = false;
    bool m_noAutoRename = false;
    bool m_registered = false;
    AvahiServiceResolver* m_resolver = nullptr;
    AvahiEntryGroup* m_group = nullptr;
};
