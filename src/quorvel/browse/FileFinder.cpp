#include "quorvel/browse/FileFinder.h"

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/protocol/UdpRequest.h"
#include "quorvel/tasks/Timing.h"

const QStringList FileFinder::RootFolders = QStringLiteral("Quorvel,Pictures,Whiteboard").split(QLatin1Char(','));

FileFinder::FileFinder(const QString& path, const QString& sort, const ServerContent& server)
    : m_path(path)
    , m_sort(sort)
    , m_server(server)
{
}

void FileFinder::finish()
{
    if (m_deliver)
        emit findFileEnd(m_list);
}

void FileFinder::execute()
{
    UdpRequest request;
    const Wakeup wakeup = stopsOnCancel(request);
    if (!request.send(ProtocolDefinedJsonObject::fileList(m_path, m_sort), m_server.address, ProtocolPort::Operation))
        return (void)fail(tr("无法发送到 %1: %2").arg(TaskOutcome::who(m_server), request.socket().errorString()));

    QList<FileContent> list;
    bool answered = false;
    const int waitMs = Timing::current().listingWaitMs;
    // Any datagram on this socket counts as the device's answer.
    while (request.waitForDatagram(waitMs)) {
        answered = true;
        const QByteArray data = request.read().data();
        bool ok = false;
        const QtJson::JsonObject reply = QtJson::parseObject(data, &ok);
        if (!ok)
            return (void)fail(TaskOutcome::badReply(m_server));
        if (reply.value(ProtocolKey::Result).toString() == ProtocolValue::Fail) {
            const QString reason = reply.value(ProtocolKey::Reason).toString();
            qCritical("[E][%s] Find File Fail: %s", "FileFinder", reason.toUtf8().constData());
            return (void)fail(tr("%1 无法列出 %2").arg(TaskOutcome::who(m_server), m_path), reason);
        }
        const QVariantList entries = reply.value(ProtocolKey::FileList).toList();
        list.reserve(list.size() + entries.size());
        for (const QVariant& entry : entries)
            list.append(FileContent::fromJson(entry.toMap()));
        if (reply.value(ProtocolKey::Finished).toBool())
            break;
    }
    if (isCancelled())
        return (void)stopped();
    if (m_path.isEmpty()) {
        QList<FileContent> shown;
        for (const FileContent& entry : qAsConst(list)) {
            if (RootFolders.contains(entry.name))
                shown.append(entry);
        }
        list = shown;
    }
    m_list = list;
    m_deliver = true;
    if (answered)
        succeed();
    else
        fail(TaskOutcome::noAnswer(m_server, waitMs));
}
