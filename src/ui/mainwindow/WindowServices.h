#pragma once

#include <QString>

class CastSession;
class Config;
class DeviceActions;
class DiscoveryListener;
class DiscoveryServer;
class OfferInbox;
class OperateListener;
class QThreadPool;
class QuorvelClientDatabase;
class TransferQueue;

// What the window uses of the application. Whoever starts the window makes these and
// keeps them until the window is gone.
struct WindowServices {
    QString logFolder;
    Config* config = nullptr;
    QuorvelClientDatabase* database = nullptr;
    DiscoveryServer* discovery = nullptr;
    DiscoveryListener* discoveryListener = nullptr;
    OperateListener* requests = nullptr;
    TransferQueue* transfers = nullptr;
    OfferInbox* inbox = nullptr;
    CastSession* cast = nullptr;
    DeviceActions* actions = nullptr;
    // Where the window's own short work runs (the walk of dropped folders).
    QThreadPool* pool = nullptr;
};
