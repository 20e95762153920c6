#include "DeviceOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

bool DeviceOptions::parse(const QStringList& arguments, QString* error)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("A simulated Quorvel device: serves a folder and speaks the device side of the protocol.\n"
                       "Commands on standard input: \"offer CLIENT_ADDRESS DEVICE_PATH\", \"quit\"."));
    p.addHelpOption();
    p.addVersionOption();
    // -V as every program of the client takes it.
    QCommandLineOption shortVersion(QStringLiteral("V"), QStringLiteral("Displays version information."));
    shortVersion.setFlags(QCommandLineOption::HiddenFromHelp);
    p.addOption(shortVersion);
    const QCommandLineOption address("address", "Address to bind (repeatable; one device per address).", "ip");
    const QCommandLineOption name("name", "Device name.", "text");
    const QCommandLineOption uuid("uuid", "Device identifier (default: derived from the address).", "text");
    const QCommandLineOption version("device-version", "Software version announced.", "text");
    const QCommandLineOption os("os", "Operating system announced.", "text");
    const QCommandLineOption kind(
        "kind", "Kind announced: \"server\" (a device, the default) or \"client\" (a PC).", "kind");
    const QCommandLineOption folder(
        "folder", "Folder to serve; a new or empty one gets sample files (default: a fresh folder).", "dir");
    const QCommandLineOption secure("secure-folder", "Confidential area (default: <folder>/.secure).", "dir");
    const QCommandLineOption support("support", "Feature announced in \"support\" (repeatable).", "text");
    const QCommandLineOption infoPort(
        "info-port", "UDP port of the information query.", "port", QString::number(ProtocolPort::Discovery));
    const QCommandLineOption opPort(
        "operation-port", "UDP port of file requests.", "port", QString::number(ProtocolPort::Operation));
    const QCommandLineOption castPort("cast-port", "UDP port of the cast negotiation.", "port", "8000");
    const QCommandLineOption streamPort("stream-port", "TCP port that receives the cast stream.", "port", "7236");
    const QCommandLineOption castPassword("cast-password", "Password the cast negotiation asks for.", "text");
    const QCommandLineOption castIp("cast-ip", "\"ip\" in the cast reply (\"\" for an empty one).", "text");
    const QCommandLineOption noMdns("no-mdns", "Do not announce the device on mDNS.");
    const QCommandLineOption log("log", "Write one JSON line per datagram and event to this file.", "file");
    const QCommandLineOption cut("cut-after", "Break TCP transfers at N bytes, K times per session.", "N[:K]");
    const QCommandLineOption stall("stall-after", "Stop sending a download at N bytes, keeping the connection.", "N");
    const QCommandLineOption trickle(
        "trickle-after", "From N bytes of a download on, send one byte every MS milliseconds.", "N:MS");
    const QCommandLineOption notComplete("not-complete", "Answer query_result \"not_complete\" K times first.", "K");
    const QCommandLineOption ignore("ignore", "Never answer this request type (repeatable).", "type");
    const QCommandLineOption wrongPort("wrong-port", "Answer this type from another port (\"all\").", "type");
    const QCommandLineOption delay("delay", "Delay every reply by this many milliseconds.", "ms");
    const QCommandLineOption lie("lie",
        "Lie in replies: not-json, json-array, wrong-session, tcp-port-0, tcp-port-70000, "
        "file-size-larger, bad-base64, bad-md5; optionally only for TYPE.",
        "mode[:type]");
    const QCommandLineOption listChunk("list-chunk", "Entries per file_list datagram.", "n");
    const QCommandLineOption noFinished("list-without-finished", "Leave \"finished\" out of listings.");
    const QCommandLineOption castUnknown("cast-unknown", "Answer this cast request with \"Unknow type:\".", "type");
    p.addOptions({address, name, uuid, version, os, kind, folder, secure, support, infoPort, opPort, castPort,
        streamPort, castPassword, castIp, noMdns, log, cut, stall, trickle, notComplete, ignore, wrongPort, delay, lie,
        listChunk, noFinished, castUnknown});
    if (!p.parse(arguments)) {
        *error = p.errorText();
        return false;
    }
    if (p.isSet("help")) {
        *error = p.helpText();
        return false;
    }
    // Asking for the version must never start a device (it would answer and announce).
    if (p.isSet("version") || p.isSet(shortVersion)) {
        *error = QCoreApplication::applicationName() + QLatin1Char(' ') + QCoreApplication::applicationVersion();
        return false;
    }
    const auto port = [&](const QCommandLineOption& o, quint16& out) {
        bool ok = false;
        const uint v = p.value(o).toUInt(&ok);
        if (!ok || v == 0 || v > 65535) {
            *error = QStringLiteral("bad port for --%1: %2").arg(o.names().first(), p.value(o));
            return false;
        }
        out = quint16(v);
        return true;
    };
    if (!port(infoPort, this->infoPort) || !port(opPort, operationPort) || !port(castPort, this->castPort)
        || !port(streamPort, this->streamPort))
        return false;

    for (const QString& a : p.values(address)) {
        QHostAddress host(a);
        if (host.isNull() || host.protocol() != QAbstractSocket::IPv4Protocol) {
            *error = QStringLiteral("bad address: %1").arg(a);
            return false;
        }
        addresses.append(host);
    }
    if (addresses.isEmpty())
        addresses.append(QHostAddress(QHostAddress::AnyIPv4));
    if (p.isSet(name))
        this->name = p.value(name);
    this->uuid = p.value(uuid);
    if (p.isSet(version))
        this->version = p.value(version);
    if (p.isSet(os))
        this->os = p.value(os);
    if (p.isSet(kind)) {
        this->kind = p.value(kind);
        if (this->kind != QLatin1String("server") && this->kind != QLatin1String("client")) {
            *error = QStringLiteral("bad kind: %1 (server or client)").arg(this->kind);
            return false;
        }
    }
    this->folder = p.value(folder);
    secureFolder = p.value(secure);
    this->support = p.values(support);
    this->castPassword = p.value(castPassword);
    if (p.isSet(castIp)) {
        this->castIp = p.value(castIp);
        castIpEmpty = this->castIp.isEmpty();
    }
    mdns = !p.isSet(noMdns);
    logPath = p.value(log);

    if (p.isSet(cut)) {
        const QStringList parts = p.value(cut).split(':');
        bool ok = false;
        faults.cutAfter = parts.at(0).toLongLong(&ok);
        if (ok && parts.size() > 1)
            faults.cutTimes = parts.at(1).toInt(&ok);
        if (!ok || faults.cutAfter < 0 || faults.cutTimes < 1) {
            *error = QStringLiteral("bad --cut-after: %1").arg(p.value(cut));
            return false;
        }
    }
    if (p.isSet(trickle)) {
        const QStringList parts = p.value(trickle).split(':');
        bool ok = false;
        bool okMs = false;
        faults.trickleAfter = parts.value(0).toLongLong(&ok);
        faults.trickleMs = parts.value(1).toInt(&okMs);
        if (parts.size() != 2 || !ok || !okMs || faults.trickleAfter < 0 || faults.trickleMs <= 0) {
            *error = QStringLiteral("bad --trickle-after: %1").arg(p.value(trickle));
            return false;
        }
    }
    if (p.isSet(stall))
        faults.stallAfter = p.value(stall).toLongLong();
    faults.notCompleteTimes = p.value(notComplete).toInt();
    faults.ignoreTypes = p.values(ignore);
    faults.wrongPortTypes = p.values(wrongPort);
    faults.delayMs = p.value(delay).toInt();
    if (p.isSet(lie)) {
        const QStringList parts = p.value(lie).split(':');
        faults.lie = parts.at(0);
        faults.lieTypes = parts.mid(1);
        static const QStringList modes{"not-json", "json-array", "wrong-session", "tcp-port-0", "tcp-port-70000",
            "file-size-larger", "bad-base64", "bad-md5"};
        if (!modes.contains(faults.lie)) {
            *error = QStringLiteral("unknown --lie mode: %1").arg(faults.lie);
            return false;
        }
    }
    faults.listChunk = p.value(listChunk).toInt();
    faults.listWithoutFinished = p.isSet(noFinished);
    faults.castUnknownTypes = p.values(castUnknown);
    return true;
}

QString DeviceOptions::uuidFor(const QHostAddress& address) const
{
    if (!uuid.isEmpty())
        return uuid;
    // A stable, address-like identifier: 02 (locally administered) then the IPv4 bytes.
    const quint32 v = address.toIPv4Address();
    return QStringLiteral("02:51:%1:%2:%3:%4")
        .arg((v >> 24) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((v >> 16) & 0xff, 2, 16, QLatin1Char('0'))
        .arg((v >> 8) & 0xff, 2, 16, QLatin1Char('0'))
        .arg(v & 0xff, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QStringList DeviceOptions::supportList() const
{
    if (!support.isEmpty())
        return support;
    return {QStringLiteral("file_upload"), QStringLiteral("Vantrope : %1").arg(castPort)};
}
