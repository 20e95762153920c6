#include "quorvel/server/FileDistribution.h"

#include <QFileInfo>

#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/protocol/UdpRequest.h"
#include "quorvel/server/OfferedFiles.h"

FileDistribution::FileDistribution(
    const QString& filePath, const ServerContent& server, const QString& clientName, OfferedFiles& offers)
    : m_filePath(filePath)
    , m_server(server)
    , m_clientName(clientName)
    , m_offers(offers)
{
}

void FileDistribution::finish()
{
    emit offered(outcome().ok);
}

bool FileDistribution::sizeFits(qint64 size, QString* reason)
{
    if (size <= MaxSize)
        return true;
    *reason
        = tr("它有 %1 字节, 而分发的文件最多 %2 字节 (4 GiB - 1): 告知接收方的大小只有 32 位").arg(size).arg(MaxSize);
    return false;
}

bool FileDistribution::offerable(const QString& filePath, QString* reason)
{
    const QFileInfo info(filePath);
    if (!info.isFile()) {
        *reason = tr("%1 不是文件").arg(filePath);
        return false;
    }
    return sizeFits(info.size(), reason);
}

void FileDistribution::execute()
{
    QString reason;
    if (!offerable(m_filePath, &reason))
        return (void)fail(tr("无法分发 %1: %2").arg(m_filePath, reason));
    // Registered before the offer leaves: a quick party fetches at once.
    m_offers.addOfferedFile(m_server.address, m_filePath);
    UdpRequest udp;
    // Always the operation port, whatever port the record names.
    const bool sent = udp.send(ProtocolDefinedJsonObject::fileDistribution(m_filePath, m_clientName), m_server.address,
        ProtocolPort::Operation);
    if (!sent) {
        m_offers.removeOfferedFile(m_server.address, m_filePath);
        return (void)fail(
            tr("无法将 %1 分发给 %2: %3").arg(m_filePath, TaskOutcome::who(m_server), udp.socket().errorString()));
    }
    succeed();
}
