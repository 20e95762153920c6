#include "quorvel/discovery/SelfAnnouncement.h"

#include "quorvel/discovery/DiscoveryServer.h"

const QString SelfAnnouncement::Name = QStringLiteral("QuorvelClient");

SelfAnnouncement::SelfAnnouncement(ZeroconfClient& zeroconf, QObject* parent)
    : QxtDiscoverableService(zeroconf, DiscoveryServer::ServiceType, Name, parent)
{
    setPort(DiscoveryServer::QueryPort);
}
