#pragma once

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include "json/QtJson.h"

// Sends raw datagrams the way a client does (fresh socket, ephemeral port) and reads
// the answers.
class UdpProbe {
public:
    explicit UdpProbe(const QHostAddress& local = QHostAddress::AnyIPv4, quint16 port = 0)
    {
        m_socket.bind(local, port);
    }
    QUdpSocket& socket() { return m_socket; }

    bool send(const QHostAddress& to, quint16 port, const QByteArray& bytes)
    {
        return m_socket.writeDatagram(bytes, to, port) == bytes.size();
    }
    bool send(const QHostAddress& to, quint16 port, const QVariantMap& object)
    {
        return send(to, port, QtJson::serialize(object));
    }

    // The next datagram, or an invalid one after the time-out.
    QNetworkDatagram receive(int timeoutMs = 3000)
    {
        if (!m_socket.hasPendingDatagrams() && !m_socket.waitForReadyRead(timeoutMs))
            return QNetworkDatagram();
        return m_socket.receiveDatagram();
    }
    QVariantMap receiveObject(int timeoutMs = 3000)
    {
        const QNetworkDatagram d = receive(timeoutMs);
        return d.isValid() ? QtJson::parseObject(d.data()) : QVariantMap();
    }
    QVariantMap ask(const QHostAddress& to, quint16 port, const QVariantMap& request, int timeoutMs = 3000)
    {
        send(to, port, request);
        return receiveObject(timeoutMs);
    }

private:
    QUdpSocket m_socket;
};
