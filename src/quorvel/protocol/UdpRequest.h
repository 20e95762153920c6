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

    // false when the object does not serialise or the datagram cannot be sent.
    bool send(
        const QtJson::JsonObject& request, const QHostAddress& address, quint16 port, bool* serializeFailed = nullptr);
    // Waits up to timeoutMs for a datagram; false when none is pending afterwards, or
    // when the stop check said so first.
    bool waitForDatagram(int timeoutMs);
    // Asked between short steps of every wait: a wait ends within a step of it turning
    // true (the socket cannot be woken from another thread).
    void setStopCheck(std::function<bool()> stop) { m_stop = std::move(stop); }
    static constexpr int StopStepMs = 20;
    QNetworkDatagram read();

    enum class Reply { Ok, WrongSender, NotJson };
    // Reads the next datagram as a reply: it must come from (address, port) and be JSON
    // (a JSON value that is no object gives an empty object).
    Reply readReplyFrom(const QHostAddress& address, quint16 port, QtJson::JsonObject* reply);

    QUdpSocket& socket() { return m_socket; }

private:
    QUdpSocket m_socket;
    std::function<bool()> m_stop;
};
