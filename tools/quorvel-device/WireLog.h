#pragma once

#include <QFile>
#include <QHostAddress>
#include <QJsonObject>

// One JSON line per datagram received or sent and per notable event, so that tests can
// assert what the client put on the wire.
class WireLog {
public:
    bool open(const QString& path);
    void datagram(const char* direction, const QHostAddress& local, quint16 localPort, const QHostAddress& peer,
        quint16 peerPort, const QByteArray& payload);
    void event(const QString& device, const QString& what, QJsonObject details = {});

private:
    void write(const QJsonObject& line);
    QFile m_file;
};
