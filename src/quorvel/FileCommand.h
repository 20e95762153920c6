#pragma once

#include <QObject>
#include <QRunnable>

#include "ServerContent.h"
#include "json/QtJson.h"

// The exchange that open, delete, thumbnail and welcome text share: one request to the
// device's operation port, one reply from that address and port, no retry.
class FileCommand : public QObject, public QRunnable {
    Q_OBJECT
public:
    FileCommand(const ServerContent& server, QObject* parent);

protected:
    // The reply, or false when there was none, it came from elsewhere or did not parse.
    bool exchange(const QtJson::JsonObject& request, QtJson::JsonObject* reply);

    ServerContent m_server;
    bool m_result = false;
};
