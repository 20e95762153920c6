#include "FileDistribution.h"

#include "OfferedFiles.h"
#include "ProtocolDefinedJsonObject.h"
#include "ProtocolWords.h"
#include "UdpRequest.h"

FileDistribution::FileDistribution(const QString& filePath, const ServerContent& server)
    : m_filePath(filePath)
    , m_server(server)
{
}

void FileDistribution::finish()
{
    emit offered(outcome().ok);
}

void FileDistribution::execute()
{
    // Registered before the offer leaves: a quick party fetches at once.
    OfferedFiles::addOfferedFile(m_server.address, m_filePath);
    UdpRequest udp;
    // Always the operation port, whatever port the record names.
    const bool sent
        = udp.send(ProtocolDefinedJsonObject::fileDistribution(m_filePath), m_server.address, ProtocolPort::Operation);
    if (!sent) {
        OfferedFiles::removeOfferedFile(m_server.address, m_filePath);
        return (void)fail(
            tr("cannot offer %1 to %2: %3").arg(m_filePath, TaskOutcome::who(m_server), udp.socket().errorString()));
    }
    succeed();
}
