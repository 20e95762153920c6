#pragma once

#include <QHash>
#include <QList>
#include <QModelIndex>
#include <QObject>
#include <QSet>

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "quorvel/tasks/TaskHandle.h"

class ClientSettings;
class DeviceActions;
class QThreadPool;
class QuorvelClientDatabase;
class Task;
class TransferQueue;

// Browsing one device's folders, for any front end: the folder shown, the order the
// device sorts it in, and the commands on its entries. Listings run one after another on
// a pool of one thread (open and delete are the application's device actions, downloads
// its transfers); only the newest listing asked for is delivered. Thumbnails run up to
// four at a time on a pool of their own, the most recently asked first, so that the rows
// on screen come before rows scrolled past.
class RemoteFolder : public QObject {
    Q_OBJECT
public:
    static constexpr int ThumbThreads = 4;
    // Thumbnail requests kept waiting at most; older ones are given up (reported as not
    // fetched, so that a later request asks again).
    static constexpr int ThumbBacklog = 64;
    static const QString DefaultSort;

    // Downloads go to transfers, into the settings' download folder; open and delete to
    // actions; thumbnails are kept in cache (null: none). All four outlive the folder.
    RemoteFolder(const ServerContent& server, TransferQueue& transfers, DeviceActions& actions,
        const ClientSettings& settings, QuorvelClientDatabase* cache, QObject* parent = nullptr);
    // Stops what still runs or waits (open and delete too) and waits for its own pools;
    // downloads go on.
    ~RemoteFolder() override;

    ServerContent server() const { return m_server; }
    // "" is the device's root; deeper folders are "/a", "/a/b".
    QString currentPath() const { return m_currentPath; }
    QString pendingPath() const { return m_pendingPath; }
    QString sortOrder() const { return m_sort; }
    bool isLoading() const { return m_loading; }

    static QString childPath(const QString& folder, const QString& name);
    // "/a/b" -> "/a", "/a" -> "", "" -> "".
    static QString parentPath(const QString& folder);
    // A name a device may give that is safe as a local file name.
    static bool isPlainName(const QString& name);

    // Lists the shown folder's subfolder name, or the shown folder again for "".
    void list(const QString& name = QString());
    void up();
    void setSortOrder(const QString& order);
    void open(const QString& name);
    void remove(const QString& name);
    // Starts downloading the entry into the DownloadPath folder as one of the
    // application's transfers; false, with the reason, when it cannot start.
    // downloadProgress and recentFilesChanged report the ones started here.
    bool download(const QString& name, qint64 dateModified, QString* reason = nullptr);
    // Asks for the thumbnail of the shown folder's entry at index; thumbFetched answers,
    // once, unless the folder shown changes first.
    void fetchThumb(const QString& name, qint64 dateModified, const QModelIndex& index);

signals:
    void loadingChanged(bool loading);
    // A listing arrived; currentPath() is its folder.
    void listed(QList<FileContent> entries);
    // The newest listing failed; the folder shown stays.
    void listingFailed(QString path, QString reason);
    void deleted(bool ok);
    void downloadProgress(ProgressContent content);
    void recentFilesChanged();
    void thumbFetched(bool ok, QByteArray bytes, QModelIndex index);

private:
    struct ThumbRequest {
        QString path;
        qint64 dateModified;
        QModelIndex index;
    };

    void listPath(const QString& path);
    // Starts a task on the pool, stoppable until it ends.
    void start(QThreadPool* pool, Task* task);
    void pumpThumbs();
    void dropWaitingThumbs();

    ServerContent m_server;
    TransferQueue& m_transfers;
    DeviceActions& m_actions;
    const ClientSettings& m_settings;
    QuorvelClientDatabase* m_cache;
    QString m_currentPath;
    QString m_pendingPath;
    QString m_sort;
    bool m_loading = false;
    int m_listSerial = 0;
    // Changes whenever the rows shown are replaced: thumbnails asked for before are stale.
    int m_generation = 0;
    QThreadPool* m_pool;
    QThreadPool* m_thumbPool = nullptr;
    QList<ThumbRequest> m_waitingThumbs;
    int m_runningThumbs = 0;
    quint64 m_taskSerial = 0;
    QHash<quint64, TaskHandle> m_active;
    // The device actions asked for here and not ended, by number.
    QSet<quint64> m_actionIds;
    // The application's transfers started here, by number.
    QSet<int> m_downloads;
};
