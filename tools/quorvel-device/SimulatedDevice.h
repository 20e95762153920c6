#pragma once

#include <QHash>
#include <QHostAddress>
#include <QObject>

#include "DeviceFileStore.h"
#include "DeviceOptions.h"

class QTcpServer;
class QUdpSocket;
class QxtDiscoverableService;
class TransferSession;
class WireLog;

// One simulated device on one address: the information query, every file request, the
// cast negotiation, and its mDNS announcement.
class SimulatedDevice : public QObject {
    Q_OBJECT
public:
    SimulatedDevice(const QHostAddress& address, const DeviceOptions& options, const DeviceFileStore& store,
        WireLog* log, QObject* parent = nullptr);

    // Binds the sockets; false with a reason.
    bool start(QString* error);
    // The address the device is known by (its first IPv4 address when bound to any).
    QHostAddress address() const { return m_publicAddress; }
    QString name() const { return m_name; }

    // Offers a file of the device to a client, as a device does from its own screen.
    bool offer(const QHostAddress& client, const QString& devicePath, QString* error);
    // Sends count offers of files that do not exist ("/flood/N.bin"), about 10,000 a
    // second, unlogged: a hostile party's flood. How many went out.
    int offerFlood(const QHostAddress& client, int count);

private:
    struct Request {
        QVariantMap body;
        QString type;
        QHostAddress peer;
        quint16 peerPort = 0;
        QUdpSocket* socket = nullptr;
    };

    QUdpSocket* bindUdp(quint16 port, QString* error);
    void onDatagrams(QUdpSocket* socket, void (SimulatedDevice::*handler)(const Request&));
    void reply(const Request& request, QVariantMap body);
    void sendNow(const Request& request, const QByteArray& bytes);
    QVariantMap fail(const QString& reason) const;

    void handleInfo(const Request& request);
    void handleOperation(const Request& request);
    void handleCast(const Request& request);

    void onFileList(const Request& request);
    void onFileUpload(const Request& request);
    void onFileDownload(const Request& request);
    void onQueryResult(const Request& request);
    void onFileOpen(const Request& request);
    void onFileDelete(const Request& request);
    void onGetThumb(const Request& request);
    void onSalutatory(const Request& request);
    void onFileDistribution(const Request& request);
    // Opens a transfer session (TransferSession::Direction) and answers with its number and port.
    void startSession(const Request& request, int direction, const QString& path, qint64 size, const QString& failure);

    bool lieApplies(const QString& type) const;
    QString castDigest(const QString& random) const;

    QHostAddress m_address;
    QHostAddress m_publicAddress;
    DeviceOptions m_options;
    DeviceFileStore m_store;
    WireLog* m_log;
    QString m_name;
    QString m_uuid;
    QUdpSocket* m_info = nullptr;
    QUdpSocket* m_operation = nullptr;
    QUdpSocket* m_cast = nullptr;
    QxtDiscoverableService* m_mdns = nullptr;
    quint32 m_nextSession = 1;
    QHash<quint32, TransferSession*> m_sessions;
    int m_notCompleteLeft = 0;
    QHash<QString, QString> m_castRandom; // peer -> last "random_data" it was given
    QString m_salutatory;
    // The cast stream: frames behind a 4-byte big-endian length.
    void onStreamConnection();
    QTcpServer* m_streamServer = nullptr;
};
