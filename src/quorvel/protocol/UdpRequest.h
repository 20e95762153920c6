#pragma once

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <functional>

#include "json/QtJson.h"

// The client side of one UDP exchange: a fresh socket on an ephemeral port, requests
// sent from it, replies read from it with blocking waits (tasks run on pool threads).
class UdpRequest {
public:
    UdpRequest();
    ~UdpRequest();
    UdpRequest(const UdpRequest&) = delete;
    UdpRequest& operator=(const UdpRequest&) = delete;

    // false when the object does not serialise or the datagram cannot be sent.
    bool send(
        const QtJson::JsonObject& request, const QHostAddress& address, quint16 port, bool* serializeFailed = nullptr);
    // Waits up to timeoutMs for a datagram; false when none is pending afterwards, or
    // when the stop check said so first.
    bool waitForDatagram(int timeoutMs);
    // Asked before every wait and after a wake(): whoever makes it true wakes the wait.
    void setStopCheck(std::function<bool()> stop) { m_stop = std::move(stop); }
    // Ends the current or next wait (false unless a datagram is pending); safe from any
    // thread while this object lives.
    void wake();
    QNetworkDatagram read();

    enum class Reply { Ok, WrongSender, NotJson };
    // Reads the next datagram as a reply: it must come from (address, port) and be JSON
    // (a JSON value that is no object gives an empty object).
    Reply readReplyFrom(const QHostAddress& address, quint16 port, QtJson::JsonObject* reply);

    QUdpSocket& socket() { return m_socket; }

private:
    QUdpSocket m_socket;
    std::function<bool()> m_stop;
    int m_wakeFd = -1;
};
