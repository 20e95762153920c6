#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include "DeviceOptions.h"

class QTcpSocket;
class QTimer;
class QUdpSocket;
class WireLog;

// The device fetching a file that a client offered to it: "file_download" to the
// client, the bytes over TCP (a resumption states the held count in decimal ASCII),
// then "query_result" with the MD5.
class ClientFetch : public QObject {
    Q_OBJECT
public:
    static constexpr int MaxConnections = 11;
    static constexpr int ReplyTimeoutMs = 5000;
    static constexpr int MaxPolls = 10;
    static constexpr int PollIntervalMs = 500;

    ClientFetch(const QHostAddress& device, const QHostAddress& client, quint16 clientPort, const QString& remotePath,
        const QString& localPath, const DeviceFaults& faults, WireLog* log, QObject* parent);
    void start();

signals:
    void finished(bool ok, const QString& detail);

private:
    void sendRequest(const QVariantMap& request);
    void onDatagram();
    void connectStream();
    void onStreamData();
    void onStreamClosed();
    void finish(bool ok, const QString& detail);

    QHostAddress m_device;
    QHostAddress m_client;
    quint16 m_clientPort;
    QString m_remotePath;
    QString m_localPath;
    DeviceFaults m_faults;
    WireLog* m_log;

    QUdpSocket* m_udp = nullptr;
    QTimer* m_timeout = nullptr;
    QPointer<QTcpSocket> m_tcp;
    QFile m_file;
    qint64 m_sessionId = 0;
    quint16 m_tcpPort = 0;
    qint64 m_size = 0;
    qint64 m_held = 0;
    int m_connections = 0;
    int m_cutsLeft = 0;
    bool m_querying = false;
    int m_polls = 0;
    QVariantMap m_query;
    bool m_done = false;
};
