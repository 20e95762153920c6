#include "quorvel/browse/RemoteFolder.h"

#include <QDir>
#include <QThreadPool>
#include <memory>

#include "platform/UserInteraction.h"
#include "quorvel/browse/FileFinder.h"
#include "quorvel/browse/FileThumb.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/storage/ClientSettings.h"
#include "quorvel/transfer/FileLanding.h"

const QString RemoteFolder::DefaultSort = QString(ProtocolValue::DateModifiedDecrease);

RemoteFolder::RemoteFolder(const ServerContent& server, TransferQueue& transfers, DeviceActions& actions,
    const ClientSettings& settings, QuorvelClientDatabase* cache, QObject* parent)
    : QObject(parent)
    , m_server(server)
    , m_transfers(transfers)
    , m_actions(actions)
    , m_settings(settings)
    , m_cache(cache)
    , m_sort(DefaultSort)
    , m_pool(new QThreadPool(this))
{
    m_pool->setMaxThreadCount(1);
    connect(&m_actions, &DeviceActions::finished, this, [this](const DeviceActionResult& result) {
        if (!m_actionIds.remove(result.id) || result.action != DeviceActionResult::Delete)
            return;
        emit deleted(result.outcome.ok);
        if (result.outcome.ok)
            list();
    });
}

RemoteFolder::~RemoteFolder()
{
    m_waitingThumbs.clear();
    // Queued tasks are cancelled, not cleared from their pools: clearing deletes them
    // while their handles still point at them. A cancelled task that has not started
    // ends at once when its turn comes, reporting that it stopped.
    for (const TaskHandle& handle : qAsConst(m_active))
        handle.cancel();
    for (const quint64 id : qAsConst(m_actionIds))
        m_actions.cancel(id);
    m_pool->waitForDone();
    if (m_thumbPool)
        m_thumbPool->waitForDone();
}

QString RemoteFolder::childPath(const QString& folder, const QString& name)
{
    return folder + QLatin1Char('/') + name;
}

QString RemoteFolder::parentPath(const QString& folder)
{
    if (folder == QLatin1String("/"))
        return folder;
    const int slash = folder.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? folder : folder.left(slash);
}

bool RemoteFolder::isPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

void RemoteFolder::start(QThreadPool* pool, Task* task)
{
    const quint64 serial = ++m_taskSerial;
    m_active.insert(serial, TaskHandle(task));
    connect(task, &Task::ended, this, [this, serial] { m_active.remove(serial); });
    pool->start(task);
}

void RemoteFolder::list(const QString& name)
{
    listPath(name.isEmpty() ? m_currentPath : childPath(m_currentPath, name));
}

void RemoteFolder::up()
{
    // Pressed again before the parent arrived: one more level up.
    listPath(parentPath(m_loading ? m_pendingPath : m_currentPath));
}

void RemoteFolder::setSortOrder(const QString& order)
{
    m_sort = order;
    list();
}

void RemoteFolder::listPath(const QString& path)
{
    m_pendingPath = path;
    const int serial = ++m_listSerial;
    auto* finder = new FileFinder(path, m_sort, m_server);
    auto entries = std::make_shared<QList<FileContent>>();
    connect(finder, &FileFinder::findFileEnd, this, [entries](const QList<FileContent>& l) { *entries = l; });
    connect(finder, &Task::ended, this, [this, serial, path, entries](const TaskOutcome& outcome) {
        if (serial != m_listSerial)
            return; // a newer listing was asked for
        m_loading = false;
        emit loadingChanged(false);
        if (!outcome.ok) {
            emit listingFailed(path, outcome.text());
            return;
        }
        m_currentPath = path;
        ++m_generation;
        dropWaitingThumbs();
        emit listed(*entries);
    });
    start(m_pool, finder);
    if (!m_loading) {
        m_loading = true;
        emit loadingChanged(true);
    }
}

void RemoteFolder::open(const QString& name)
{
    m_actionIds.insert(m_actions.open(m_server, childPath(m_currentPath, name)));
}

void RemoteFolder::remove(const QString& name)
{
    m_actionIds.insert(m_actions.remove(m_server, childPath(m_currentPath, name)));
}

bool RemoteFolder::download(const QString& name, qint64 dateModified, QString* reason)
{
    const auto refuse = [reason](const QString& why) {
        if (reason)
            *reason = why;
        return false;
    };
    // The name comes from the device: it must not lead out of the download folder.
    if (!isPlainName(name))
        return refuse(tr("\"%1\"不是可以保存的文件名").arg(name));
    const QString folder = m_settings.downloadFolder();
    if (folder.isEmpty() || !QDir().mkpath(folder))
        return refuse(tr("无法创建下载目录 %1").arg(folder));
    // The application's transfers: the download goes on beside listings and after this
    // folder is closed, and every front end sees it.
    TransferQueue* queue = &m_transfers;
    if (m_downloads.isEmpty()) {
        connect(queue, &TransferQueue::progress, this, [this](const ProgressContent& content) {
            if (m_downloads.contains(content.id))
                emit downloadProgress(content);
        });
        connect(queue, &TransferQueue::transferEnded, this,
            [this](const ProgressContent& last, const TaskOutcome& outcome) {
                if (!m_downloads.remove(last.id))
                    return;
                emit downloadProgress(last);
                if (outcome.ok)
                    emit recentFilesChanged();
            });
    }
    // A file of that name is there: the user says whether it goes or the new one goes beside it.
    const QString wanted = QDir(folder).filePath(name);
    const QString remote = childPath(m_currentPath, name);
    bool replace = false;
    if (FileLanding::occupied(wanted)) {
        switch (m_transfers.user().askExistingFile(wanted)) {
        case UserInteraction::ExistingFile::Cancel: return refuse(tr("%1 已存在: 未下载").arg(wanted));
        case UserInteraction::ExistingFile::Replace: replace = true; break;
        case UserInteraction::ExistingFile::KeepBoth: break;
        }
    }
    QString why;
    const QString local = FileLanding::choose(wanted, m_server.address.toString(), remote, replace, &why);
    if (local.isEmpty())
        return refuse(why);
    m_downloads.insert(queue->download(remote, local, m_server, dateModified, replace && local == wanted));
    return true;
}

void RemoteFolder::fetchThumb(const QString& name, qint64 dateModified, const QModelIndex& index)
{
    m_waitingThumbs.append({childPath(m_currentPath, name), dateModified, index});
    if (m_waitingThumbs.size() > ThumbBacklog)
        emit thumbFetched(false, QByteArray(), m_waitingThumbs.takeFirst().index);
    pumpThumbs();
}

void RemoteFolder::dropWaitingThumbs()
{
    m_waitingThumbs.clear();
}

void RemoteFolder::pumpThumbs()
{
    if (!m_thumbPool) {
        m_thumbPool = new QThreadPool(this);
        m_thumbPool->setMaxThreadCount(ThumbThreads);
    }
    while (m_runningThumbs < ThumbThreads && !m_waitingThumbs.isEmpty()) {
        const ThumbRequest request = m_waitingThumbs.takeLast();
        auto* task = new FileThumb(request.path, m_server, request.dateModified, request.index, m_cache);
        const int generation = m_generation;
        connect(task, &FileThumb::getThumbEnd, this,
            [this, generation](bool ok, const QByteArray& bytes, const QModelIndex& index) {
                --m_runningThumbs;
                // Rows of a folder no longer shown: the index names another entry now.
                if (generation == m_generation)
                    emit thumbFetched(ok, bytes, index);
                pumpThumbs();
            });
        ++m_runningThumbs;
        start(m_thumbPool, task);
    }
}
