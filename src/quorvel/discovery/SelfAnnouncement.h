#pragma once

#include "quorvel/discovery/QxtDiscoverableService.h"

// How this client announces itself on mDNS, whichever front end answers discovery (the
// window, `quorvelctl serve`): the service type the devices and other clients browse,
// the client's fixed service name (renamed by the daemon on a collision), the port that
// answers the information query, and no TXT record: what a party wants to know of this
// client it asks on that port. Register it to announce.
class SelfAnnouncement : public QxtDiscoverableService {
    Q_OBJECT
public:
    static const QString Name; // "QuorvelClient"

    explicit SelfAnnouncement(ZeroconfClient& zeroconf, QObject* parent = nullptr);
};
