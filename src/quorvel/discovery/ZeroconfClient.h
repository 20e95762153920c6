#pragma once

#include <QObject>

struct AvahiClient;
class QTimer;

// The connection to avahi-daemon over the system D-Bus, for the browsers and services
// of the thread that makes it (avahi's objects are driven by that thread's loop). It
// survives daemon restarts: when the daemon comes back, running() is emitted again and
// its users recreate what they had.
class ZeroconfClient : public QObject {
    Q_OBJECT
public:
    explicit ZeroconfClient(QObject* parent = nullptr);
    ~ZeroconfClient() override;

    bool isRunning() const;
    AvahiClient* client() const { return m_client; }
    // The avahi error code of the last failure (0 while running).
    int lastError() const { return m_lastError; }
    QString lastErrorText() const;

signals:
    void running();
    void lost();

private:
    void connectToDaemon();
    static void onStateChanged(AvahiClient* client, int state, void* self);

    AvahiClient* m_client = nullptr;
    QTimer* m_retry = nullptr;
    int m_lastError = 0;
    bool m_running = false;
};
