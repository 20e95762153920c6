#include "WireLog.h"

#include <QDateTime>
#include <QJsonDocument>

bool WireLog::open(const QString& path)
{
    m_file.setFileName(path);
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append);
}

void WireLog::datagram(const char* direction, const QHostAddress& local, quint16 localPort, const QHostAddress& peer,
    quint16 peerPort, const QByteArray& payload)
{
    QJsonObject line;
    line["dir"] = QLatin1String(direction);
    line["device"] = local.toString();
    line["local_port"] = localPort;
    line["peer"] = peer.toString();
    line["peer_port"] = peerPort;
    line["payload"] = QString::fromUtf8(payload);
    line["size"] = payload.size();
    write(line);
}

void WireLog::event(const QString& device, const QString& what, QJsonObject details)
{
    details["event"] = what;
    details["device"] = device;
    write(details);
}

void WireLog::write(const QJsonObject& lineIn)
{
    if (!m_file.isOpen())
        return;
    QJsonObject line = lineIn;
    line["time"] = double(QDateTime::currentMSecsSinceEpoch());
    m_file.write(QJsonDocument(line).toJson(QJsonDocument::Compact));
    m_file.write("\n");
    m_file.flush();
}
