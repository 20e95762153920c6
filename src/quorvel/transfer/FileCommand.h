#pragma once

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/Task.h"
#include "json/QtJson.h"

// The exchange that open, delete, thumbnail and welcome text share: one request to the
// device's operation port, one reply from that address and port, no retry.
class FileCommand : public Task {
    Q_OBJECT
public:
    explicit FileCommand(const ServerContent& server);

protected:
    // The reply, or false (and the reason recorded) when there was none, it came from
    // elsewhere or did not parse.
    bool exchange(const QtJson::JsonObject& request, QtJson::JsonObject* reply);
    // The reply's "result" was "ok"; otherwise the failure is recorded with what the
    // device said.
    bool accepted(const QtJson::JsonObject& reply, const QString& failure);

    ServerContent m_server;
};
