#pragma once

#include <QString>
#include <QThreadPool>
#include <functional>
#include <vector>

#include "platform/AppFolders.h"

class CastSession;
class Config;
class DesktopSession;
class DeviceActions;
class DiscoveryListener;
class DiscoveryServer;
class FileTransferServer;
class OfferInbox;
class OfferedFiles;
class OperateListener;
class QuorvelClientDatabase;
class ServingSessions;
class TransferQueue;
class UserInteraction;

// The application's long-lived objects, created in a fixed order on the thread that
// constructs the context and freed in reverse when it is destroyed; whoever uses one is
// handed it. One context per process at a time: the ports are the process's.
//
// To add an object: give it a member and an accessor, and create it in the constructor
// with own(new Object(...)) after the objects it uses; it is then freed before them.
class AppContext {
public:
    // applicationFolder holds config.ini, QuorvelClient.db and the log; the launcher's
    // folder (QCoreApplication::applicationDirPath()) in the programs. session is the
    // desktop session of a window (cast shortcut, autostart entry); null for headless
    // programs. user is whom the core asks (offers, existing files, casts) and warns;
    // null: nobody (questions get their fallback answers). Both stay the caller's and
    // must outlive the context.
    explicit AppContext(
        const QString& applicationFolder, DesktopSession* session = nullptr, UserInteraction* user = nullptr);
    // The same with the files where the folders say (an installed program's XDG folders).
    explicit AppContext(const AppFolders& folders, DesktopSession* session = nullptr, UserInteraction* user = nullptr);
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // Where short tasks run (device queries, answers to inbound requests, casts): the
    // context drains it when it goes, before it frees what those tasks report to.
    QThreadPool* pool() const { return &m_pool; }
    static constexpr int PoolThreads = 16;

    QString folder() const { return m_folder; }
    // Where each kind of file lives; handed to whoever writes one.
    const AppFolders& folders() const { return m_folders; }
    // A file of the application (not a path the user gave): resolved against the folder.
    QString filePath(const QString& relative) const;
    // Where the window writes its log.
    QString logFolder() const;

    Config* config() const { return m_config; }
    QuorvelClientDatabase* database() const { return m_database; }
    DiscoveryServer* discovery() const { return m_discovery; }
    DiscoveryListener* discoveryListener() const { return m_discoveryListener; }
    // What this client offered to whom, and the sessions of what it serves.
    OfferedFiles* offeredFiles() const { return m_offers; }
    ServingSessions* servingSessions() const { return m_sessions; }
    // Requests of devices and other clients (offers, fetches of what we offer); the
    // front end starts it, as it starts the discovery listener.
    OperateListener* requests() const { return m_requests; }
    FileTransferServer* uploads() const { return m_uploads; }

    // The services every front end shares.
    TransferQueue* transfers() const { return m_transfers; }
    OfferInbox* inbox() const { return m_inbox; }
    CastSession* cast() const { return m_cast; }
    // Open, delete and the welcome text on a device, with their results.
    DeviceActions* actions() const { return m_actions; }

private:
    template <typename T> T* own(T* object)
    {
        m_teardown.push_back([object] { delete object; });
        return object;
    }

    const AppFolders m_folders;
    const QString m_folder; // the database's
    mutable QThreadPool m_pool; // before the objects whose tasks run on it, so freed after them
    std::vector<std::function<void()>> m_teardown;
    Config* m_config = nullptr;
    QuorvelClientDatabase* m_database = nullptr;
    DiscoveryServer* m_discovery = nullptr;
    DiscoveryListener* m_discoveryListener = nullptr;
    OfferedFiles* m_offers = nullptr;
    ServingSessions* m_sessions = nullptr;
    OperateListener* m_requests = nullptr;
    FileTransferServer* m_uploads = nullptr;
    // How many of the objects above are the core's; the services follow them.
    size_t m_coreObjects = 0;
    TransferQueue* m_transfers = nullptr;
    OfferInbox* m_inbox = nullptr;
    CastSession* m_cast = nullptr;
    DeviceActions* m_actions = nullptr;
};
