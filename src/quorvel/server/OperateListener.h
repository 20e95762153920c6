#pragma once

#include <QThread>

class QUdpSocket;

// Takes the requests that devices and other clients send to UDP 16021; each becomes a
// ReplyOperate on the global pool.
class OperateListener : public QThread {
    Q_OBJECT
public:
    static constexpr quint16 Port = 16021;
    explicit OperateListener(QObject* parent = nullptr);
    ~OperateListener() override;

signals:
    void listening();

protected:
    void run() override;

private:
    void readPending(QUdpSocket* socket);
};
