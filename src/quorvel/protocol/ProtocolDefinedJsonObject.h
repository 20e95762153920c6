#pragma once

#include <QString>

#include "json/QtJson.h"

// Builders of the client's requests and of its replies to devices and other clients.
class ProtocolDefinedJsonObject {
public:
    static QtJson::JsonObject fileList(const QString& path, const QString& sort);
    static QtJson::JsonObject fileDownload(const QString& path);
    static QtJson::JsonObject fileOpen(const QString& path);
    static QtJson::JsonObject fileDelete(const QString& path);
    static QtJson::JsonObject getThumb(const QString& path);
    static QtJson::JsonObject salutatory(const QString& text);
    // clientName: the name this client shows (a setting, handed in by the caller).
    // "Did the file of this session arrive with this MD5?"
    static QtJson::JsonObject queryResult(qint64 sessionId, const QString& md5);
    static QtJson::JsonObject fileDistribution(const QString& path, const QString& clientName);

    static QtJson::JsonObject okReply();
    static QtJson::JsonObject failReply(const QString& reason);
    // All three are stated as unsigned 32-bit numbers: larger sizes wrap, as devices expect.
    static QtJson::JsonObject downloadReply(uint sessionId, uint tcpPort, uint fileSize);
    static QtJson::JsonObject clientInfo(const QString& clientName);

    // Hardware address of the first non-loopback interface with a non-zero address;
    // cached once found, empty (and retried next time) while there is none.
    static QString clientUuid();
    static QString osName();
};
