#pragma once

#include <QHash>
#include <QObject>

struct AvahiServiceBrowser;

// Browses one mDNS service type. A service seen on several interfaces or protocols is
// reported once. Browsing resumes by itself after avahi-daemon restarts.
class QxtServiceBrowser : public QObject {
    Q_OBJECT
public:
    explicit QxtServiceBrowser(const QString& serviceType, QObject* parent = nullptr);
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

    QString m_serviceType;
    bool m_wanted = false;
    AvahiServiceBrowser* m_browser = nullptr;
    // name + domain -> number of (interface, protocol) instances announcing it
    QHash<QPair<QString, QString>, int> m_instances;
};
