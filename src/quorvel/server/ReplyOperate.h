#pragma once

#include <QHostAddress>
#include <QRunnable>

#include "json/QtJson.h"

class OperateListener;

// One request that a device or another client sent to this client's operation port:
// fetch an offered file, ask how a transfer ended, or push a file to the user. What
// comes of it is reported through the listener that took it.
class ReplyOperate : public QRunnable {
public:
    // The owner outlives the request (it is stopped, and the pool drained, before it goes).
    ReplyOperate(OperateListener& owner, const QByteArray& data, const QHostAddress& sender, quint16 senderPort);
    void run() override;

    void replyFileDownload(const QtJson::JsonObject& request);
    void replyResultQuery(const QtJson::JsonObject& request);

private:
    void onPushedFile(const QtJson::JsonObject& request);
    void send(const QtJson::JsonObject& reply, const char* serializeFail, const char* sendFail);

    OperateListener& m_owner;
    QByteArray m_data;
    QHostAddress m_sender;
    quint16 m_senderPort = 0;
};
