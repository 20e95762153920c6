#include "SimulatedDevice.h"

#include "RgbImage.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>
#include <QtEndian>
#include <memory>

#include "ClientFetch.h"
#include "TransferSession.h"
#include "WireLog.h"
#include "quorvel/discovery/QxtDiscoverableService.h"
#include "quorvel/discovery/ZeroconfClient.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "json/QtJson.h"

namespace {
constexpr int ThumbSize = 160;
constexpr int ListingBurst = 16;
const QString CastUnknown = QStringLiteral("Unknow type: %1");
} // namespace

SimulatedDevice::SimulatedDevice(const QHostAddress& address, const DeviceOptions& options,
    const DeviceFileStore& store, WireLog* log, QObject* parent)
    : QObject(parent)
    , m_address(address)
    , m_publicAddress(address)
    , m_options(options)
    , m_store(store)
    , m_log(log)
    , m_name(options.name)
    , m_uuid(options.uuidFor(address))
    , m_notCompleteLeft(options.faults.notCompleteTimes)
{
}

QUdpSocket* SimulatedDevice::bindUdp(quint16 port, QString* error)
{
    auto* socket = new QUdpSocket(this);
    // Several devices and the client share one host on loopback addresses.
    if (!socket->bind(m_address, port, QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        *error = QStringLiteral("cannot bind %1:%2: %3")
                     .arg(m_publicAddress.toString())
                     .arg(port)
                     .arg(socket->errorString());
        return nullptr;
    }
    return socket;
}

bool SimulatedDevice::start(QString* error)
{
    if (m_address == QHostAddress(QHostAddress::AnyIPv4)) {
        // Bound to any address (so that broadcasts arrive): known by the host's own address.
        for (const QHostAddress& a : QNetworkInterface::allAddresses()) {
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback()) {
                m_publicAddress = a;
                break;
            }
        }
        m_uuid = m_options.uuidFor(m_publicAddress);
    }
    m_info = bindUdp(m_options.infoPort, error);
    m_operation = m_info ? bindUdp(m_options.operationPort, error) : nullptr;
    m_cast = m_operation ? bindUdp(m_options.castPort, error) : nullptr;
    if (!m_cast)
        return false;
    connect(m_info, &QUdpSocket::readyRead, this, [this] { onDatagrams(m_info, &SimulatedDevice::handleInfo); });
    connect(m_operation, &QUdpSocket::readyRead, this,
        [this] { onDatagrams(m_operation, &SimulatedDevice::handleOperation); });
    connect(m_cast, &QUdpSocket::readyRead, this, [this] { onDatagrams(m_cast, &SimulatedDevice::handleCast); });

    m_streamServer = new QTcpServer(this);
    if (!m_streamServer->listen(m_address, m_options.streamPort)) {
        *error = QStringLiteral("cannot listen for the cast stream on %1:%2: %3")
                     .arg(m_address.toString())
                     .arg(m_options.streamPort)
                     .arg(m_streamServer->errorString());
        return false;
    }
    connect(m_streamServer, &QTcpServer::newConnection, this, &SimulatedDevice::onStreamConnection);

    if (m_options.mdns) {
        auto* zeroconf = new ZeroconfClient(this);
        m_mdns = new QxtDiscoverableService(*zeroconf, QStringLiteral("_quorvel._udp"), m_name, zeroconf);
        m_mdns->setPort(m_options.infoPort);
        connect(m_mdns, &QxtDiscoverableService::registered, this,
            [this] { m_log->event(m_publicAddress.toString(), QStringLiteral("mdns-registered")); });
        connect(m_mdns, &QxtDiscoverableService::registrationError, this, [this](int code) {
            QJsonObject details;
            details["code"] = code;
            m_log->event(m_publicAddress.toString(), QStringLiteral("mdns-unavailable"), details);
            qWarning("[W][%s] %s is not announced on mDNS (error %d): is avahi-daemon running?", "SimulatedDevice",
                qPrintable(m_publicAddress.toString()), code);
        });
        m_mdns->registerService();
    }
    m_log->event(m_publicAddress.toString(), QStringLiteral("started"));
    return true;
}

void SimulatedDevice::onDatagrams(QUdpSocket* socket, void (SimulatedDevice::*handler)(const Request&))
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            continue;
        m_log->datagram("in", m_publicAddress, socket->localPort(), datagram.senderAddress(),
            quint16(datagram.senderPort()), datagram.data());
        bool ok = false;
        // The whole datagram counts: a NUL inside it is part of the text.
        const QByteArray bytes = datagram.data();
        const QVariant parsed = QtJson::parse(QString::fromUtf8(bytes.constData(), bytes.size()), ok);
        if (!ok || parsed.userType() != QMetaType::QVariantMap) {
            QJsonObject details;
            details["peer"] = datagram.senderAddress().toString();
            m_log->event(m_publicAddress.toString(), QStringLiteral("dropped-malformed"), details);
            continue;
        }
        Request request;
        request.body = parsed.toMap();
        request.type = request.body.value(ProtocolKey::Type).toString();
        request.peer = datagram.senderAddress();
        request.peerPort = quint16(datagram.senderPort());
        request.socket = socket;
        (this->*handler)(request);
    }
}

QVariantMap SimulatedDevice::fail(const QString& reason) const
{
    QVariantMap body;
    body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
    body.insert(ProtocolKey::Reason, reason);
    return body;
}

bool SimulatedDevice::lieApplies(const QString& type) const
{
    return !m_options.faults.lie.isEmpty()
        && (m_options.faults.lieTypes.isEmpty() || m_options.faults.lieTypes.contains(type));
}

void SimulatedDevice::reply(const Request& request, QVariantMap body)
{
    const DeviceFaults& f = m_options.faults;
    if (f.ignoreTypes.contains(request.type)) {
        m_log->event(m_publicAddress.toString(), QStringLiteral("ignored"), QJsonObject{{"type", request.type}});
        return;
    }
    QByteArray bytes;
    if (lieApplies(request.type) && f.lie == QLatin1String("not-json")) {
        bytes = "this is not json";
    } else {
        if (lieApplies(request.type)) {
            if (f.lie == QLatin1String("wrong-session") && body.contains(ProtocolKey::SessionId))
                body.insert(ProtocolKey::SessionId, body.value(ProtocolKey::SessionId).toLongLong() + 1000);
            else if (f.lie == QLatin1String("tcp-port-0") && body.contains(ProtocolKey::TcpPort))
                body.insert(ProtocolKey::TcpPort, 0);
            else if (f.lie == QLatin1String("tcp-port-70000") && body.contains(ProtocolKey::TcpPort))
                body.insert(ProtocolKey::TcpPort, 70000);
            else if (f.lie == QLatin1String("file-size-larger") && body.contains(ProtocolKey::FileSize))
                body.insert(ProtocolKey::FileSize, body.value(ProtocolKey::FileSize).toLongLong() + 1000);
            else if (f.lie == QLatin1String("bad-md5") && request.type == ProtocolType::QueryResult
                && body.value(ProtocolKey::Result).toString() == ProtocolValue::Ok) {
                body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
                body.insert(ProtocolKey::Reason, QStringLiteral("md5 mismatch"));
            } else if (f.lie == QLatin1String("bad-base64") && body.contains(ProtocolKey::Thumb))
                body.insert(ProtocolKey::Thumb, QStringLiteral("!!not*base64!!"));
        }
        bytes = QtJson::serialize(body);
        if (lieApplies(request.type) && f.lie == QLatin1String("json-array"))
            bytes = "[ " + bytes + " ]";
    }
    if (f.delayMs > 0)
        QTimer::singleShot(f.delayMs, this, [this, request, bytes] { sendNow(request, bytes); });
    else
        sendNow(request, bytes);
}

void SimulatedDevice::sendNow(const Request& request, const QByteArray& bytes)
{
    const DeviceFaults& f = m_options.faults;
    QUdpSocket* socket = request.socket;
    QUdpSocket other;
    if (f.wrongPortTypes.contains(request.type) || f.wrongPortTypes.contains(QStringLiteral("all"))) {
        other.bind(m_address, 0);
        socket = &other;
    }
    socket->writeDatagram(bytes, request.peer, request.peerPort);
    m_log->datagram("out", m_publicAddress, socket->localPort(), request.peer, request.peerPort, bytes);
}

void SimulatedDevice::handleInfo(const Request& request)
{
    QVariantMap info;
    info.insert(ProtocolKey::Name, m_name);
    info.insert(ProtocolKey::Version, m_options.version);
    info.insert(ProtocolKey::Os, m_options.os);
    info.insert(ProtocolKey::Uuid, m_uuid);
    info.insert(ProtocolKey::Type, m_options.kind);
    info.insert(ProtocolKey::Support, m_options.supportList());
    Request asInfo = request;
    asInfo.type = QStringLiteral("info"); // the query has "type" "client": fault options name it "info"
    reply(asInfo, info);
}

void SimulatedDevice::handleOperation(const Request& request)
{
    using Handler = void (SimulatedDevice::*)(const Request&);
    static const QHash<QString, Handler> handlers{
        {ProtocolType::FileList, &SimulatedDevice::onFileList},
        {ProtocolType::FileUpload, &SimulatedDevice::onFileUpload},
        {ProtocolType::FileDownload, &SimulatedDevice::onFileDownload},
        {ProtocolType::QueryResult, &SimulatedDevice::onQueryResult},
        {ProtocolType::FileOpen, &SimulatedDevice::onFileOpen},
        {ProtocolType::FileDelete, &SimulatedDevice::onFileDelete},
        {ProtocolType::GetThumb, &SimulatedDevice::onGetThumb},
        {ProtocolType::Salutatory, &SimulatedDevice::onSalutatory},
        {ProtocolType::FileDistribution, &SimulatedDevice::onFileDistribution},
    };
    const Handler handler = handlers.value(request.type);
    if (!handler) {
        reply(request, fail(QStringLiteral("Unknow type: %1").arg(request.type)));
        return;
    }
    (this->*handler)(request);
}

void SimulatedDevice::onFileList(const Request& request)
{
    QVariantList entries;
    QString reason;
    if (!m_store.list(request.body.value(ProtocolKey::FilePath).toString(),
            request.body.value(ProtocolKey::Sort).toString(), &entries, &reason)) {
        reply(request, fail(reason));
        return;
    }
    // A long listing goes out in several datagrams, each well below the UDP limit.
    constexpr int MaxDatagram = 8000;
    QList<QVariantList> chunks{QVariantList()};
    int chunkBytes = 0;
    for (const QVariant& entry : qAsConst(entries)) {
        const int size = QtJson::serialize(entry).size() + 2;
        const bool full = m_options.faults.listChunk > 0 ? chunks.last().size() >= m_options.faults.listChunk
                                                         : chunkBytes + size > MaxDatagram;
        if (full && !chunks.last().isEmpty()) {
            chunks.append(QVariantList());
            chunkBytes = 0;
        }
        chunks.last().append(entry);
        chunkBytes += size;
    }
    for (int i = 0; i < chunks.size(); ++i) {
        QVariantMap body;
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
        body.insert(ProtocolKey::FileList, chunks.at(i));
        if (!m_options.faults.listWithoutFinished)
            body.insert(ProtocolKey::Finished, i == chunks.size() - 1);
        // A real device sends a long listing in bursts; so do we, a millisecond apart.
        if (i < ListingBurst) {
            reply(request, body);
        } else {
            QTimer::singleShot(i / ListingBurst, this, [this, request, body] { reply(request, body); });
        }
    }
}

void SimulatedDevice::onFileUpload(const Request& request)
{
    const QString name = request.body.value(ProtocolKey::FileName).toString();
    bool ok = false;
    const qint64 size = request.body.value(ProtocolKey::FileSize).toLongLong(&ok);
    if (!ok || size < 0) {
        reply(request, fail(QStringLiteral("Invalid file_size.")));
        return;
    }
    const bool secure = request.body.value(ProtocolKey::Option).toString() == ProtocolValue::Secure;
    QString reason;
    const QString target = m_store.uploadTarget(name, secure, &reason);
    if (target.isEmpty()) {
        reply(request, fail(reason));
        return;
    }
    startSession(request, TransferSession::Receive, target, size, QStringLiteral("Cannot store the file."));
}

void SimulatedDevice::startSession(
    const Request& request, int direction, const QString& path, qint64 size, const QString& failure)
{
    const quint32 id = m_nextSession++;
    auto* session = new TransferSession(TransferSession::Direction(direction), id, path, size, m_options.faults, m_log,
        m_publicAddress.toString(), this);
    if (!session->listen(m_address)) {
        delete session;
        reply(request, fail(failure));
        return;
    }
    m_sessions.insert(id, session);
    QVariantMap body;
    body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    body.insert(ProtocolKey::SessionId, id);
    body.insert(ProtocolKey::TcpPort, session->port());
    if (direction == TransferSession::Send)
        body.insert(ProtocolKey::FileSize, size); // the device names the size of what it sends
    reply(request, body);
}

void SimulatedDevice::onFileDownload(const Request& request)
{
    QString reason;
    const QString path = m_store.resolve(request.body.value(ProtocolKey::FilePath).toString(), &reason);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        reply(request, fail(reason.isEmpty() ? QStringLiteral("File not exists.") : reason));
        return;
    }
    startSession(request, TransferSession::Send, path, QFileInfo(path).size(), QStringLiteral("Cannot read the file."));
}

void SimulatedDevice::onQueryResult(const Request& request)
{
    bool ok = false;
    const quint32 id = request.body.value(ProtocolKey::SessionId).toUInt(&ok);
    QVariantMap body;
    body.insert(ProtocolKey::SessionId, request.body.value(ProtocolKey::SessionId));
    TransferSession* session = ok ? m_sessions.value(id) : nullptr;
    if (!session) {
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        body.insert(ProtocolKey::Reason, QStringLiteral("not such sessionID"));
    } else if (m_notCompleteLeft > 0 || !session->isComplete()) {
        if (m_notCompleteLeft > 0)
            --m_notCompleteLeft;
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        body.insert(ProtocolKey::Reason, QString(ProtocolValue::NotComplete));
    } else if (!session->isDigestReady()) {
        // The last bytes are still being hashed: answer once the digest is known.
        session->whenDigestReady([this, request] { onQueryResult(request); });
        return;
    } else if (session->fileMd5() == request.body.value(ProtocolKey::Md5).toString()) {
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    } else {
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        body.insert(ProtocolKey::Reason, QStringLiteral("md5 mismatch"));
    }
    reply(request, body);
}

void SimulatedDevice::onFileOpen(const Request& request)
{
    const QString devicePath = request.body.value(ProtocolKey::FilePath).toString();
    const bool secure = request.body.value(ProtocolKey::Option).toString() == ProtocolValue::Secure;
    QString reason;
    const QString path = secure ? m_store.resolveSecure(devicePath, &reason) : m_store.resolve(devicePath, &reason);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        reply(request, fail(reason.isEmpty() ? QStringLiteral("File not exists.") : reason));
        return;
    }
    m_log->event(m_publicAddress.toString(), QStringLiteral("shown"),
        QJsonObject{{"path", path}, {"secure", secure}, {"device_path", devicePath}});
    QVariantMap body;
    body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    reply(request, body);
}

void SimulatedDevice::onFileDelete(const Request& request)
{
    QString reason;
    const QString path = m_store.resolve(request.body.value(ProtocolKey::FilePath).toString(), &reason);
    if (path.isEmpty() || !QFileInfo(path).isFile() || !QFile::remove(path)) {
        reply(request, fail(reason.isEmpty() ? QStringLiteral("Delete fail.") : reason));
        return;
    }
    m_log->event(m_publicAddress.toString(), QStringLiteral("deleted"), QJsonObject{{"path", path}});
    QVariantMap body;
    body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    reply(request, body);
}

void SimulatedDevice::onGetThumb(const Request& request)
{
    QString reason;
    const QString path = m_store.resolve(request.body.value(ProtocolKey::FilePath).toString(), &reason);
    RgbImage image;
    if (path.isEmpty() || !QFileInfo(path).isFile() || (image = RgbImage::load(path)).isNull()) {
        reply(request, fail(reason.isEmpty() ? QStringLiteral("Not an image.") : reason));
        return;
    }
    const QByteArray png = image.fitted(ThumbSize).png();
    QVariantMap body;
    body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    body.insert(ProtocolKey::Thumb, QString::fromLatin1(png.toBase64()));
    reply(request, body);
}

void SimulatedDevice::onSalutatory(const Request& request)
{
    m_salutatory = request.body.value(ProtocolKey::Salutatory).toString();
    m_log->event(m_publicAddress.toString(), QStringLiteral("salutatory"), QJsonObject{{"text", m_salutatory}});
    QVariantMap body;
    body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    reply(request, body);
}

void SimulatedDevice::onFileDistribution(const Request& request)
{
    // A client offers a file: the device fetches it at once, as its user would accept.
    const QString remote = request.body.value(ProtocolKey::FilePath).toString();
    const QString name = remote.split(QLatin1Char('/')).last();
    QString reason;
    const QString target = m_store.receiveTarget(name, &reason);
    if (target.isEmpty()) {
        m_log->event(m_publicAddress.toString(), QStringLiteral("offer-refused"),
            QJsonObject{{"path", remote}, {"reason", reason}});
        return;
    }
    m_log->event(m_publicAddress.toString(), QStringLiteral("offered"),
        QJsonObject{{"path", remote}, {"from", request.body.value(ProtocolKey::Name).toString()},
            {"uuid", request.body.value(ProtocolKey::Uuid).toString()}});
    auto* fetch = new ClientFetch(
        m_publicAddress, request.peer, m_options.operationPort, remote, target, m_options.faults, m_log, this);
    connect(fetch, &ClientFetch::finished, fetch, &QObject::deleteLater);
    fetch->start();
}

bool SimulatedDevice::offer(const QHostAddress& client, const QString& devicePath, QString* error)
{
    QString reason;
    const QString path = m_store.resolve(devicePath, &reason);
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        *error = reason.isEmpty() ? QStringLiteral("no such file: %1").arg(devicePath) : reason;
        return false;
    }
    QVariantMap body;
    body.insert(ProtocolKey::Type, QString(ProtocolType::FileDistribution));
    body.insert(ProtocolKey::FilePath, devicePath);
    body.insert(ProtocolKey::Name, m_name);
    body.insert(ProtocolKey::Uuid, m_uuid);
    const QByteArray bytes = QtJson::serialize(body);
    m_operation->writeDatagram(bytes, client, m_options.operationPort);
    m_log->datagram("out", m_publicAddress, m_operation->localPort(), client, m_options.operationPort, bytes);
    return true;
}

int SimulatedDevice::offerFlood(const QHostAddress& client, int count)
{
    int sent = 0;
    for (int i = 0; i < count; ++i) {
        QVariantMap body;
        body.insert(ProtocolKey::Type, QString(ProtocolType::FileDistribution));
        body.insert(ProtocolKey::FilePath, QStringLiteral("/flood/%1.bin").arg(i));
        body.insert(ProtocolKey::Name, m_name);
        body.insert(ProtocolKey::Uuid, m_uuid);
        const QByteArray bytes = QtJson::serialize(body);
        // About 10,000 a second (the rate of the floods seen on a LAN): fast, yet not so
        // fast that the receiver's socket buffer drops most of it. A full send buffer is
        // waited out (briefly), so that the flood arrives rather than vanishes here.
        if (i % 20 == 19)
            QThread::msleep(2);
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (m_operation->writeDatagram(bytes, client, m_options.operationPort) >= 0) {
                ++sent;
                break;
            }
            QThread::msleep(1);
        }
    }
    return sent;
}

QString SimulatedDevice::castDigest(const QString& random) const
{
    const QByteArray inner = QCryptographicHash::hash(m_options.castPassword.toUtf8(), QCryptographicHash::Md5).toHex();
    return QString::fromLatin1(QCryptographicHash::hash(inner + random.toUtf8(), QCryptographicHash::Md5).toHex());
}

void SimulatedDevice::handleCast(const Request& request)
{
    const QString peer = request.peer.toString() + QLatin1Char(':') + QString::number(request.peerPort);
    QVariantMap body;
    body.insert(ProtocolKey::Uuid, m_uuid);
    if (m_options.faults.castUnknownTypes.contains(request.type)) {
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        body.insert(ProtocolKey::Reason, CastUnknown.arg(request.type));
        reply(request, body);
        return;
    }
    const bool needPassword = !m_options.castPassword.isEmpty();
    if (request.type == QLatin1String("get_auth")) {
        const QString random = QString::number(QRandomGenerator::global()->generate64(), 16);
        m_castRandom.insert(peer, random);
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
        body.insert(QStringLiteral("need_passwd"), needPassword);
        body.insert(QStringLiteral("random_data"), random);
        reply(request, body);
        return;
    }
    static const QStringList known{"confirm", "cancel_confirm", "cast"};
    if (!known.contains(request.type)) {
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        body.insert(ProtocolKey::Reason, CastUnknown.arg(request.type));
        reply(request, body);
        return;
    }
    if (needPassword
        && request.body.value(QStringLiteral("passwd")).toString() != castDigest(m_castRandom.value(peer))) {
        body.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        body.insert(QStringLiteral("error_code"), -1002);
        body.insert(ProtocolKey::Reason, QStringLiteral("wrong password"));
        reply(request, body);
        return;
    }
    m_log->event(m_publicAddress.toString(), QStringLiteral("cast-") + request.type,
        QJsonObject{{"name", request.body.value(ProtocolKey::Name).toString()}, {"peer", peer}});
    body.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
    if (request.type == QLatin1String("cast")) {
        const QString ip = m_options.castIpEmpty
            ? QString()
            : (m_options.castIp.isEmpty() ? m_publicAddress.toString() : m_options.castIp);
        body.insert(QStringLiteral("ip"), ip);
    }
    reply(request, body);
}

void SimulatedDevice::onStreamConnection()
{
    while (QTcpSocket* socket = m_streamServer->nextPendingConnection()) {
        // Per connection: bytes not yet framed, frames seen, and a one-second window
        // for the frame rate.
        struct Stream {
            QByteArray pending;
            int frames = 0;
            int windowFrames = 0;
            QElapsedTimer window;
            QElapsedTimer sinceFirst; // the rate over the whole stream, from the first frame
        };
        auto stream = std::make_shared<Stream>();
        stream->window.start();
        const QString device = m_publicAddress.toString();
        const QString latest = m_store.root() + QStringLiteral("/.cast/latest.jpg");
        QDir().mkpath(m_store.root() + QStringLiteral("/.cast"));
        m_log->event(
            device, QStringLiteral("cast-stream-connected"), QJsonObject{{"peer", socket->peerAddress().toString()}});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, stream, device, latest] {
            stream->pending += socket->readAll();
            for (;;) {
                if (stream->pending.size() < 4)
                    break;
                const quint32 length = qFromBigEndian<quint32>(stream->pending.constData());
                if (length > 64u * 1024 * 1024) {
                    m_log->event(
                        device, QStringLiteral("cast-stream-bad-frame"), QJsonObject{{"length", double(length)}});
                    socket->abort();
                    return;
                }
                if (quint32(stream->pending.size()) < 4 + length)
                    break;
                const QByteArray jpeg = stream->pending.mid(4, int(length));
                stream->pending.remove(0, int(4 + length));
                if (stream->frames == 0)
                    stream->sinceFirst.start();
                ++stream->frames;
                ++stream->windowFrames;
                QSaveFile file(latest);
                if (file.open(QIODevice::WriteOnly)) {
                    file.write(jpeg);
                    file.commit();
                }
                if (stream->window.elapsed() >= 1000) {
                    const double fps = stream->windowFrames * 1000.0 / stream->window.restart();
                    stream->windowFrames = 0;
                    const double overall
                        = (stream->frames - 1) * 1000.0 / qMax<qint64>(1, stream->sinceFirst.elapsed());
                    m_log->event(device, QStringLiteral("cast-frames"),
                        QJsonObject{{"frames", stream->frames}, {"fps", fps}, {"fps_overall", overall}});
                }
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, stream, device] {
            m_log->event(device, QStringLiteral("cast-stream-closed"), QJsonObject{{"frames", stream->frames}});
            socket->deleteLater();
        });
    }
}
