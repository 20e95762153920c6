#pragma once

#include <QThread>

#include "quorvel/protocol/ProtocolWords.h"

class QHostAddress;
class QUdpSocket;

// Takes the requests that devices and other clients send to UDP 16021; each becomes a
// ReplyOperate on the global pool.
class OperateListener : public QThread {
    Q_OBJECT
public:
    static constexpr quint16 Port = ProtocolPort::Operation;
    explicit OperateListener(QObject* parent = nullptr);
    ~OperateListener() override;

    // Sends a reply from the listening socket: a client that fetches from this client
    // takes replies only from port 16021. Never waits for the listener: from another
    // thread the datagram is handed to the listener's thread and its size returned; -1
    // when nothing listens (the caller then sends from a socket of its own).
    static qint64 sendReply(const QByteArray& bytes, const QHostAddress& to, quint16 port);

signals:
    void listening();
    // The port is taken (or cannot be bound); the listener tries again every while.
    void bindFailed(quint16 port, QString error);

protected:
    void run() override;

private:
    void readPending(QUdpSocket* socket);
    QUdpSocket* m_socket = nullptr; // lives on the listener's thread
};
