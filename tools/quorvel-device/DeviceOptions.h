#pragma once

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include "quorvel/protocol/ProtocolWords.h"

// Faults a test can ask the simulated device to commit.
struct DeviceFaults {
    qint64 cutAfter = -1; // break a TCP transfer once this many bytes of the file moved
    int cutTimes = 1; // ... this many times per session
    qint64 stallAfter = -1; // stop sending (connection kept open) at this many bytes
    qint64 trickleAfter = -1; // from this many bytes on, send one byte every trickleMs
    int trickleMs = 0;
    int notCompleteTimes = 0; // answer query_result "not_complete" this many times first
    QStringList ignoreTypes; // never answer these request types
    QStringList wrongPortTypes; // answer these from another port ("all" for every type)
    int delayMs = 0; // delay every reply
    QString lie; // not-json, json-array, wrong-session, tcp-port-0, tcp-port-70000,
                 // file-size-larger, bad-base64
    QStringList lieTypes; // request types the lie applies to (empty: every type)
    int listChunk = 0; // entries per "file_list" datagram (0: by size)
    bool listWithoutFinished = false;
    QStringList castUnknownTypes; // cast requests answered with "Unknow type:"
};

struct DeviceOptions {
    QList<QHostAddress> addresses;
    QString name = QStringLiteral("Quorvel Simulator");
    QString uuid; // empty: derived from the address
    QString version = QStringLiteral("1.0.0-sim");
    QString os = QStringLiteral("QuorvelOS");
    QString kind = QStringLiteral("server");
    QString folder; // the served folder; empty: a fresh sample folder
    QString secureFolder; // the confidential area; empty: <folder>/.secure
    QStringList support; // empty: "file_upload" and "Vantrope : <castPort>"
    quint16 infoPort = ProtocolPort::Discovery;
    quint16 operationPort = ProtocolPort::Operation;
    quint16 castPort = 8000;
    quint16 streamPort = 7236;
    QString castPassword;
    QString castIp; // "ip" in the cast reply; empty: the device's address
    bool castIpEmpty = false;
    bool mdns = true;
    QString logPath;
    DeviceFaults faults;

    // Fills options from the command line; false with a message on bad input.
    bool parse(const QStringList& arguments, QString* error);
    QString uuidFor(const QHostAddress& address) const;
    QStringList supportList() const;
};
