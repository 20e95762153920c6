#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantList>

#include "quorvel/protocol/ManualTarget.h"
#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"

class QSqlQuery;

// The local store "QuorvelClient.db" in the application folder: transfer history,
// thumbnail cache and hand-added devices. Used from any thread; one mutex serialises
// every operation, and each thread talks to SQLite through a connection of its own on
// the same file (SQL connections may only be used by the thread that opened them). The
// file is readable by its owner only. The application context creates the one instance.
// A damaged file is moved aside ("QuorvelClient.db.corrupt-<time>") and a new one made;
// another program holding the file locked is waited for briefly (Timing), and a record
// that cannot be written is reported through warning(), for the front end to say.
class QuorvelClientDatabase : public QObject {
    Q_OBJECT
public:
    explicit QuorvelClientDatabase(const QString& applicationFolder, QObject* parent = nullptr);
    ~QuorvelClientDatabase() override;

    bool isOpen() const { return m_open; }
    QString filePath() const { return m_path; }
    // Why the last operation that failed (or the opening) failed, for a person:
    // "cannot open /a/QuorvelClient.db: permission denied".
    QString lastError() const;
    // What the user should hear about the opening (the damaged file moved aside), or empty.
    QString openWarning() const;

    QByteArray getThumb(const QString& uuid, const QString& path, qint64 dateModified);
    bool setThumb(const QString& uuid, const QString& path, qint64 dateModified, const QByteArray& thumb);

    bool addRecentFileRecord(const RecentFilesContent& record);
    bool deleteRecentFileRecord(qint64 rowid);
    bool clearRecentFileRecord(const QString& uuid);
    QList<RecentFilesContent> getRecentFiles(const QString& uuid);

    bool addManualDevice(const ServerContent& device);
    bool removeManualDevice(const ServerContent& device);
    bool clearManualDevice();
    // The hand-added entries that are plain addresses.
    QList<ServerContent> getManualDevices();
    // Every hand-added entry: addresses, host names and ranges.
    QList<ManualTarget> getManualTargets();
    bool addManualTarget(const ManualTarget& target);
    bool removeManualTarget(const ManualTarget& target);

    // Devices that answered (by any way), one row per uuid and address, so that a later
    // discovery pass asks them again by unicast wherever this PC is now. Any host can
    // answer under ever new uuids: only the most recently seen are kept.
    static constexpr int MaxRememberedDevices = 1024;
    bool rememberDevice(const ServerContent& device, qint64 seenAt);
    // Those that answered at seenSince or later, the most recent first (address, port,
    // uuid, name, lastSeen, what it is).
    QList<ServerContent> rememberedDevices(qint64 seenSince);
    // Forgets those that last answered before the time (the table stays small).
    bool forgetDevicesSeenBefore(qint64 seenBefore);

signals:
    // Something the user should hear of, in words: "the history could not be written: ...".
    // Emitted on the thread that made the call, after the store's lock is released.
    void warning(const QString& message);

private:
    void open();
    // Runs the CREATE statements; false (and the error in `failed`) at the first failure
    // that leaves the store unusable or locked.
    void upgradeRememberedDevices(QSqlQuery& q);
    bool createTables(QSqlQuery& q, QString* failed, int* code);
    // Moves a damaged file (and its journal) aside; the new name, or empty on failure.
    QString moveAside();
    bool addRecord(const RecentFilesContent& record, QString* why);
    void report(const char* logFormat, const QSqlQuery& failed);
    // Prepares sql on q, binds values in the order of its placeholders and runs it; a
    // failure is logged with logFormat and kept as the last error.
    bool run(QSqlQuery& q, const QString& sql, const QVariantList& values, const char* logFormat);
    void setError(const QString& reason);
    // This thread's connection, opened on first use; false when the store is unusable.
    bool query(QSqlQuery* out);

    bool m_open = false;
    bool m_schemaPending = false; // locked at opening: the tables are checked on first use
    QString m_path;
    QString m_openWarning;
    int m_generation = 0;
    mutable QMutex m_errorLock;
    QString m_lastError;
};
