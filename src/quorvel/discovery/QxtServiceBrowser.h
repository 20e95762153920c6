#pragma once

#include <QHash>
#include <QObject>
#include <QPointer>

class ZeroconfClient;
struct AvahiServiceBrowser;

// Browses one mDNS service type. A service seen on several interfaces or protocols is
// reported once. Browsing resumes by itself after avahi-daemon restarts.
class QxtServiceBrowser : public QObject {
    Q_OBJECT
public:
    // zeroconf is the daemon connection of this thread; when it goes first, the daemon's
    // objects went with it.
    QxtServiceBrowser(ZeroconfClient& zeroconf, const QString& serviceType, QObject* parent = nullptr);
    ~QxtServiceBrowser() override;

    QString serviceType() const { return m_serviceType; }
    bool isBrowsing() const { return m_wanted; }

public slots:
    void browse();
    void stopBrowsing();

signals:
    void browsingFailed(int errorCode);
    void serviceAdded(const QString& serviceName, const QString& domain);
    void serviceRemoved(const QString& serviceName, const QString& domain);

private:
    void createBrowser();
    void freeBrowser();
    void onBrowserEvent(int event, const char* name, const char* domain);

    QPointer<ZeroconfClient> m_zeroconf;
    QString m_serviceType;
    bool m_wanted = false;
    AvahiServiceBrowser* m_browser = nullptr;
    // name + domain -> number of (interface, protocol) instances announcing it
    QHash<QPair<QString, QString>, int> m_instances;
};
