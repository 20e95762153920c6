#include "quorvel/server/ReplyOperate.h"

#include <QFileInfo>
#include <QTcpServer>
#include <QThreadPool>
#include <QUdpSocket>

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/server/DownloadServer.h"
#include "quorvel/server/FileDistribution.h"
#include "quorvel/server/IncomingFile.h"
#include "quorvel/server/OfferedFiles.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/server/ServingSessions.h"

namespace {
const char* const Tag = "ReplyOperate";
}

ReplyOperate::ReplyOperate(
    OperateListener& owner, const QByteArray& data, const QHostAddress& sender, quint16 senderPort)
    : m_owner(owner)
    , m_data(data)
    , m_sender(sender)
    , m_senderPort(senderPort)
{
}

void ReplyOperate::run()
{
    bool ok = false;
    const QVariant parsed = QtJson::parse(QString::fromUtf8(m_data.constData(), m_data.size()), ok);
    if (!ok) {
        qCritical("[E][%s] ReplyDiscovery: pase json fail.", Tag);
        return;
    }
    const QtJson::JsonObject request = parsed.toMap();
    const QString type = request.value(ProtocolKey::Type).toString();
    if (type == ProtocolType::FileDownload)
        replyFileDownload(request);
    else if (type == ProtocolType::QueryResult)
        replyResultQuery(request);
    else if (type == ProtocolType::FileDistribution)
        onPushedFile(request);
    else
        qCritical("[E][%s] ReplyOperate: does not support operate: %s", Tag, qUtf8Printable(type));
}

void ReplyOperate::send(const QtJson::JsonObject& reply, const char* serializeFail, const char* sendFail)
{
    bool ok = false;
    const QByteArray bytes = QtJson::serialize(reply, ok);
    if (!ok) {
        qCritical(serializeFail, Tag);
        return;
    }
    // From the operation port when the listener runs (a fetching client checks it).
    if (m_owner.sendReply(bytes, m_sender, m_senderPort) != -1)
        return;
    QUdpSocket socket;
    if (socket.writeDatagram(bytes, m_sender, m_senderPort) == -1)
        qCritical(sendFail, Tag);
}

void ReplyOperate::replyFileDownload(const QtJson::JsonObject& request)
{
    const QString path = request.value(ProtocolKey::FilePath).toString();
    QtJson::JsonObject reply = ProtocolDefinedJsonObject::failReply(QStringLiteral("File not allow to download."));
    const OfferedFiles::Offer offer = m_owner.offers().find(m_sender, path);
    if (offer == OfferedFiles::Offer::Expired)
        qWarning("[W][%s] Refused a fetch by %s: the offer has expired.", Tag, qPrintable(m_sender.toString()));
    if (offer == OfferedFiles::Offer::Standing) {
        const QFileInfo info(path);
        QString tooLarge;
        if (!info.isFile()) {
            reply = ProtocolDefinedJsonObject::failReply(QStringLiteral("File not exists."));
        } else if (!FileDistribution::sizeFits(info.size(), &tooLarge)) {
            qCritical("[E][%s] replyFileDownload: %s", Tag, qUtf8Printable(tooLarge));
            reply = ProtocolDefinedJsonObject::failReply(QStringLiteral("File too large."));
        } else {
            ServingSessions& sessions = m_owner.sessions();
            uint session = 0;
            std::unique_ptr<QTcpServer> listener = sessions.allocate(&session);
            if (!listener) {
                reply = ProtocolDefinedJsonObject::failReply(QStringLiteral("No free port to serve on."));
                send(reply, "[E][%s] replyFileDownload: serialize json fail.",
                    "[E][%s] replyFileDownload: socket send error.");
                return;
            }
            const quint16 port = listener->serverPort();
            sessions.setParty(session, m_sender);
            sessions.setResult(session, QString(ProtocolValue::NotComplete));
            reply = ProtocolDefinedJsonObject::downloadReply(session, port, uint(info.size()));
            // The fetching host as it described itself, if it ever asked who we are.
            const ServerContent host = m_owner.knownHost(m_sender);
            {
                // Served on this thread, which waits for the transfer anyway; listening
                // before the reply goes out, so the party never finds the port closed.
                DownloadServer server(path, port, session, host, m_sender, sessions);
                QObject::connect(&server, &DownloadServer::uploadProgress, &m_owner, &OperateListener::servingProgress);
                QObject::connect(
                    &server, &DownloadServer::served, &m_owner, &OperateListener::served, Qt::DirectConnection);
                QObject::connect(
                    &server, &DownloadServer::updateRecentFileList, &m_owner, &OperateListener::updateRecentFileList);
                server.adoptListener(std::move(listener));
                send(reply, "[E][%s] replyFileDownload: serialize json fail.",
                    "[E][%s] replyFileDownload: socket send error.");
                // A transfer may wait long for its party: let the pool this request runs
                // on run other requests (status queries, discovery) meanwhile.
                m_owner.pool().releaseThread();
                server.run();
                m_owner.pool().reserveThread();
            }
            return;
        }
    }
    send(reply, "[E][%s] replyFileDownload: serialize json fail.", "[E][%s] replyFileDownload: socket send error.");
}

void ReplyOperate::replyResultQuery(const QtJson::JsonObject& request)
{
    const uint session = request.value(ProtocolKey::SessionId).toUInt();
    QtJson::JsonObject reply;
    reply.insert(ProtocolKey::SessionId, session);
    bool found = false;
    // Only the party that fetched learns how its transfer ended.
    const QString status = m_owner.sessions().resultFor(session, m_sender, &found);
    if (!found) {
        reply.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        reply.insert(ProtocolKey::Reason, QStringLiteral("not such sessionID"));
    } else if (request.value(ProtocolKey::Md5).toString() == status) {
        reply.insert(ProtocolKey::Result, QString(ProtocolValue::Ok));
        m_owner.sessions().markConfirmed(session);
    } else {
        reply.insert(ProtocolKey::Result, QString(ProtocolValue::Fail));
        reply.insert(ProtocolKey::Reason, status);
    }
    send(reply, "[E][%s] Reply result query: serialize json fail.",
        "[E][%s] Reply result query: socket write datagram fail.");
    emit m_owner.resultQueried(session, reply.value(ProtocolKey::Result).toString() == ProtocolValue::Ok);
}

void ReplyOperate::onPushedFile(const QtJson::JsonObject& request)
{
    const QString filePath = request.value(ProtocolKey::FilePath).toString();
    QString reason;
    if (IncomingFile::nameOf(filePath, &reason).isEmpty()) {
        // Anyone on the network can send this: a name that is no plain name is refused
        // before anybody is asked.
        qWarning(
            "[W][%s] Refused a file offered by %s: %s", Tag, qPrintable(m_sender.toString()), qUtf8Printable(reason));
        return;
    }
    ServerContent server;
    server.name = request.value(ProtocolKey::Name).toString();
    server.uuid = request.value(ProtocolKey::Uuid).toString();
    server.address = m_sender;
    emit m_owner.isDownloadFile(filePath, server, m_senderPort);
}
