#pragma once

#include <QHostAddress>
#include <QMap>
#include <QMutex>
#include <QRunnable>
#include <QThread>

#include "quorvel/protocol/ServerContent.h"
#include "json/QtJson.h"

class ClientSettings;
class QThreadPool;
class QUdpSocket;

// Answers "who are you?" on UDP 16020 with this client's description, and remembers
// what each host that asked said about itself. Each question is answered on the pool
// the listener was given.
class DiscoveryListener : public QThread {
    Q_OBJECT
public:
    static constexpr quint16 Port = ProtocolPort::Discovery;

    // The description this client gives of itself.
    QtJson::JsonObject selfDescription() const;
    // Ends the listening thread and waits for it: no question is taken, and no answer
    // queued, after it returns. The application context calls it before it drains the
    // pool the answers run on.
    void stop();

    // What hosts said of themselves when they asked. Any host may ask from ever new
    // addresses: only the most recent are kept, each text cut to a sane length.
    static constexpr int MaxKnownHosts = 1024;
    static constexpr int MaxKnownText = 256;
    ServerContent knownHost(const QString& address) const;
    void setKnownHost(const QString& address, const ServerContent& record);

signals:
    void listening();
    // The port is taken (or cannot be bound); the listener tries again every while.
    void bindFailed(quint16 port, QString error);

protected:
    void run() override;

private:
    friend class AppContext;
    // Both outlive the listener; the pool is drained after it stopped.
    DiscoveryListener(const ClientSettings& settings, QThreadPool& pool);
    ~DiscoveryListener() override;
    void readPending(QUdpSocket* socket);

    const ClientSettings& m_settings;
    QThreadPool& m_pool;
    mutable QMutex m_knownHostsLock;
    QMap<QString, ServerContent> m_knownHosts;
    QStringList m_knownOrder; // oldest first
};

// One question on UDP 16020, answered on a pool thread.
class ReplyDiscovery : public QRunnable {
public:
    // Answers with owner's description and records the sender there; the owner must
    // outlive it.
    ReplyDiscovery(DiscoveryListener* owner, const QByteArray& data, const QHostAddress& sender, quint16 senderPort);
    void run() override;

    // The version rule: "v0.9" (any case of the v) is too old; text that is no number is fine.
    static bool isAcceptedVersion(const QString& version);

private:
    DiscoveryListener* m_owner;
    QByteArray m_data;
    QHostAddress m_sender;
    quint16 m_senderPort;
};
