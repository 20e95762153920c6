#include "FileFinder.h"

#include "ProtocolDefinedJsonObject.h"
#include "ProtocolWords.h"
#include "Timing.h"
#include "UdpRequest.h"

const QStringList FileFinder::RootFolders = QStringLiteral("Quorvel,Pictures,Whiteboard").split(QLatin1Char(','));

FileFinder::FileFinder(const QString& path, const QString& sort, const ServerContent& server, QObject* parent)
    : QObject(parent)
    , m_path(path)
    , m_sort(sort)
    , m_server(server)
{
}

void FileFinder::run()
{
    UdpRequest request;
    if (!request.send(ProtocolDefinedJsonObject::fileList(m_path, m_sort), m_server.address, ProtocolPort::Operation))
        return;

    QList<FileContent> list;
    // Any datagram on this socket counts as the device's answer.
    while (request.waitForDatagram(Timing::current().listingWaitMs)) {
        const QByteArray data = request.read().data();
        bool ok = false;
        const QtJson::JsonObject reply = QtJson::parseObject(data, &ok);
        if (!ok)
            return;
        if (reply.value(ProtocolKey::Result).toString() == ProtocolValue::Fail) {
            qCritical("[E][%s] Find File Fail: %s", "FileFinder",
                reply.value(ProtocolKey::Reason).toString().toUtf8().constData());
            return;
        }
        const QVariantList entries = reply.value(ProtocolKey::FileList).toList();
        list.reserve(list.size() + entries.size());
        for (const QVariant& entry : entries)
            list.append(FileContent::fromJson(entry.toMap()));
        if (reply.value(ProtocolKey::Finished).toBool())
            break;
    }
    if (m_path.isEmpty()) {
        QList<FileContent> shown;
        for (const FileContent& entry : qAsConst(list)) {
            if (RootFolders.contains(entry.name))
                shown.append(entry);
        }
        list = shown;
    }
    emit findFileEnd(list);
}
