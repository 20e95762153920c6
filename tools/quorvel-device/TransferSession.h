#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QObject>
#include <QPointer>

#include "DeviceOptions.h"
#include "utils/Md5.h"

class QTcpServer;
class QTcpSocket;
class WireLog;

// One TCP data stream the device accepted: an upload it receives or a download it
// sends. Later connections of a session are resumptions: the receiver first states the
// bytes it holds as 8 bytes, little-endian.
class TransferSession : public QObject {
    Q_OBJECT
public:
    enum Direction { Receive, Send };
    static constexpr int MaxConnections = 11;

    TransferSession(Direction direction, quint32 id, const QString& localPath, qint64 size, const DeviceFaults& faults,
        WireLog* log, const QString& device, QObject* parent);
    ~TransferSession() override;

    // Listens on the device's address; false when no port could be had.
    bool listen(const QHostAddress& address);
    quint16 port() const;
    quint32 id() const { return m_id; }
    Direction direction() const { return m_direction; }
    QString localPath() const { return m_path; }
    bool isComplete() const;
    // MD5 of the bytes the device holds (receive) or of the file it serves (send).
    QString fileMd5();

private:
    void onNewConnection();
    void onReadyRead();
    void sendMore();
    void cut(const char* why);
    void hashInOrder(const QByteArray& block);
    void logEvent(const QString& what, qint64 value);

    Direction m_direction;
    quint32 m_id;
    QString m_path;
    qint64 m_size;
    DeviceFaults m_faults;
    WireLog* m_log;
    QString m_device;

    QTcpServer* m_server = nullptr;
    QPointer<QTcpSocket> m_socket;
    QFile m_file;
    int m_connections = 0;
    int m_cutsLeft = 0;
    qint64 m_position = 0; // bytes held (receive) or sent (send)
    bool m_awaitingOffset = false;
    QByteArray m_offsetBytes;
    QByteArray m_readBuffer;
    QString m_md5;
    // MD5 of the stream so far while it runs in order: no second pass over the file.
    Md5 m_hash;
    qint64 m_hashed = 0;
    bool m_hashInOrder = true;
    bool m_completeLogged = false;
};
