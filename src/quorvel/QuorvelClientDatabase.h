#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>

#include "RecentFilesContent.h"
#include "ServerContent.h"

class QSqlQuery;

// The local store "QuorvelClient.db" in the application folder: transfer history,
// thumbnail cache and hand-added devices. Used from any thread; one mutex serialises
// every operation, and each thread talks to SQLite through a connection of its own on
// the same file (SQL connections may only be used by the thread that opened them). The
// file is readable by its owner only. The application context creates the one instance.
class QuorvelClientDatabase : public QObject {
    Q_OBJECT
public:
    explicit QuorvelClientDatabase(const QString& applicationFolder, QObject* parent = nullptr);
    ~QuorvelClientDatabase() override;

    // The live instance (made by the application context), null without one.
    static QuorvelClientDatabase* instance();

    bool isOpen() const { return m_open; }
    QString filePath() const { return m_path; }
    // Why the last operation that failed (or the opening) failed, for a person:
    // "cannot open /a/QuorvelClient.db: permission denied".
    QString lastError() const;

    QByteArray getThumb(const QString& uuid, const QString& path, qint64 dateModified);
    bool setThumb(const QString& uuid, const QString& path, qint64 dateModified, const QByteArray& thumb);

    bool addRecentFileRecord(const RecentFilesContent& record);
    bool deleteRecentFileRecord(qint64 rowid);
    bool clearRecentFileRecord(const QString& uuid);
    QList<RecentFilesContent> getRecentFiles(const QString& uuid);

    bool addManualDevice(const ServerContent& device);
    bool removeManualDevice(const ServerContent& device);
    bool clearManualDevice();
    QList<ServerContent> getManualDevices();

private:
    void open();
    void report(const char* logFormat, const QSqlQuery& failed);
    void setError(const QString& reason);
    // This thread's connection, opened on first use; false when the store is unusable.
    bool query(QSqlQuery* out);

    bool m_open = false;
    QString m_path;
    int m_generation = 0;
    mutable QMutex m_errorLock;
    QString m_lastError;
};
