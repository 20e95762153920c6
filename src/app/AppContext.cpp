#include "app/AppContext.h"

#include <QDir>
#include <QThread>
#include <QThreadPool>

#include "cast/CastSession.h"
#include "platform/UserInteraction.h"
#include "quorvel/discovery/BroadcastTargets.h"
#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/server/OfferedFiles.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/server/ServingSessions.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/services/OfferInbox.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/transfer/FileTransferServer.h"
#include "settings/Config.h"

AppContext::AppContext(const QString& applicationFolder, DesktopSession* session, UserInteraction* user)
    : AppContext(AppFolders::inFolder(applicationFolder), session, user)
{
}

AppContext::AppContext(const AppFolders& folders, DesktopSession* session, UserInteraction* user)
    : m_folders(folders)
    , m_folder(folders.dataFolder())
{
    // Its tasks mostly wait on the network (a device that does not answer holds a thread
    // for the whole wait, a cast for as long as it runs): not as few as the processors.
    m_pool.setMaxThreadCount(qMax(QThread::idealThreadCount(), PoolThreads));
    m_config = own(new Config(m_folders, session, user));
    m_database = own(new QuorvelClientDatabase(m_folder));
    m_discovery = own(new DiscoveryServer(*m_config, m_database, m_pool));
    // The interfaces to broadcast on, when the automatic choice (all but the virtual
    // ones) is not wanted: the test namespaces name their veth links this way.
    m_discovery->setBroadcastInterfaces(
        BroadcastTargets::parseNames(qEnvironmentVariable("QUORVEL_BROADCAST_INTERFACES")));
    m_discoveryListener = own(new DiscoveryListener(*m_config, m_pool));
    m_offers = own(new OfferedFiles);
    m_sessions = own(new ServingSessions);
    m_requests = own(new OperateListener(*m_sessions, *m_offers, m_pool, m_discoveryListener));
    // Files served to other clients join the history.
    QObject::connect(
        m_requests, &OperateListener::served, m_database,
        [db = m_database](const RecentFilesContent& record) { db->addRecentFileRecord(record); }, Qt::DirectConnection);
    m_uploads = own(new FileTransferServer(m_database));
    m_coreObjects = m_teardown.size();
    m_transfers = own(new TransferQueue(*m_uploads, *m_config, m_database, *m_offers));
    UserInteraction& asked = user ? *user : UserInteraction::fallback();
    m_transfers->setUser(&asked);
    m_inbox = own(new OfferInbox(m_transfers, *m_config));
    QObject::connect(m_requests, &OperateListener::isDownloadFile, m_inbox,
        [inbox = m_inbox](const QString& path, const ServerContent& from, quint16) { inbox->onOffered(path, from); });
    m_cast = own(new CastSession(*m_config, asked, m_pool));
    m_actions = own(new DeviceActions(m_pool));
}

AppContext::~AppContext()
{
    // The services first: they stop what they started (a cast holds a pool thread while
    // the casting program runs; transfers keep what they moved).
    while (m_teardown.size() > m_coreObjects) {
        m_teardown.back()();
        m_teardown.pop_back();
    }
    // Tasks on the pool (device queries, answers to inbound requests) report to
    // the objects below: let them end first. Queued ones never start, and the listeners
    // that queue answers stop first, so that none is queued while the pool drains.
    m_discoveryListener->stop();
    m_requests->stop();
    m_pool.clear();
    m_sessions->stopAll(); // a serving task would wait for its party up to minutes
    m_pool.waitForDone();
    while (!m_teardown.empty()) {
        m_teardown.back()();
        m_teardown.pop_back();
    }
}

QString AppContext::logFolder() const
{
    return m_folders.logFolder();
}

QString AppContext::filePath(const QString& relative) const
{
    return QDir(m_folder).absoluteFilePath(relative);
}
