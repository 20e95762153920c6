#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include "RecentFilesContent.h"
#include "ServerContent.h"

class QSqlQuery;

// The local store "QuorvelClient.db": transfer history, thumbnail cache and hand-added
// devices. Used from any thread; one mutex serialises every operation, and each thread
// talks to SQLite through a connection of its own on the same file (SQL connections may
// only be used by the thread that opened them).
class QuorvelClientDatabase : public QObject {
    Q_OBJECT
public:
    static QuorvelClientDatabase* instance();
    // Test seam: closes every connection so that the next instance() opens afresh.
    static void resetForTests();

    bool isOpen() const { return m_open; }

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
    QuorvelClientDatabase();
    ~QuorvelClientDatabase() override;
    void open();
    // This thread's connection, opened on first use; false when the store is unusable.
    bool query(QSqlQuery* out);

    bool m_open = false;
    QString m_path;
    int m_generation = 0;
};
