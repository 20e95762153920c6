#include "quorvel/storage/QuorvelClientDatabase.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QThreadStorage>
#include <QVariant>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

#include "quorvel/tasks/Timing.h"

namespace {
QMutex g_mutex;
QAtomicInt g_connectionCounter;
// SQLite's primary result codes that matter here.
constexpr int SqliteBusy = 5;
constexpr int SqliteLocked = 6;
constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;
const char* const Tag = "QuorvelClientDatabase";

// One connection per thread, closed when the thread ends.
struct ThreadConnection {
    QString name;
    int generation = -1;
    ~ThreadConnection() { drop(); }
    void drop()
    {
        if (name.isEmpty())
            return;
        QSqlDatabase::database(name, false).close();
        QSqlDatabase::removeDatabase(name);
        name.clear();
    }
};
QThreadStorage<ThreadConnection*> t_connection;

// The history names files and devices: its owner alone may read it. SQLite gives its
// journal the database file's mode.
constexpr QFile::Permissions OwnerOnly = QFile::ReadOwner | QFile::WriteOwner;

QString lowerFirst(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

int sqliteCode(const QSqlError& error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

bool isLocked(int code)
{
    return code == SqliteBusy || code == SqliteLocked;
}

QString sqliteText(const QSqlError& error)
{
    return lowerFirst(error.databaseText().isEmpty() ? error.text() : error.databaseText());
}
} // namespace

QuorvelClientDatabase::QuorvelClientDatabase(const QString& applicationFolder, QObject* parent)
    : QObject(parent)
    , m_path(QDir::cleanPath(QDir(applicationFolder).absoluteFilePath(QStringLiteral("QuorvelClient.db"))))
{
    QMutexLocker lock(&g_mutex);
    static int generations = 0;
    m_generation = ++generations;
    open();
}

QuorvelClientDatabase::~QuorvelClientDatabase()
{
    QMutexLocker lock(&g_mutex);
    // Other threads' connections notice the new generation and close on their next use.
    if (t_connection.hasLocalData() && t_connection.localData()->generation == m_generation)
        t_connection.localData()->drop();
}

QString QuorvelClientDatabase::lastError() const
{
    QMutexLocker lock(&m_errorLock);
    return m_lastError;
}

QString QuorvelClientDatabase::openWarning() const
{
    QMutexLocker lock(&m_errorLock);
    return m_openWarning;
}

void QuorvelClientDatabase::setError(const QString& reason)
{
    QMutexLocker lock(&m_errorLock);
    m_lastError = reason;
}

void QuorvelClientDatabase::report(const char* logFormat, const QSqlQuery& failed)
{
    const QString text = failed.lastError().text();
    qCritical(logFormat, Tag, qUtf8Printable(text));
    setError(isLocked(sqliteCode(failed.lastError())) ? tr("%1 被其它程序锁定").arg(m_path)
                                                      : tr("%1: %2").arg(m_path, text));
}

bool QuorvelClientDatabase::createTables(QSqlQuery& q, QString* failed, int* code)
{
    const std::pair<QString, const char*> tables[] = {
        {QStringLiteral("CREATE TABLE IF NOT EXISTS tbRecentFiles (uuid TEXT, remotePath TEXT, nativePath TEXT, type "
                        "TEXT,dateModified INTEGER,operateTime INTEGER);"),
            "[E][%s] Create table tbRecentFiles fail."},
        {QStringLiteral("CREATE TABLE IF NOT EXISTS tbThumb ( uuid TEXT, path TEXT, dateModified INTEGER,thumb BLOB);"),
            "[E][%s] Create table tbThumb fail."},
        {QStringLiteral("CREATE TABLE IF NOT EXISTS tbManualDevices (ip TEXT primary key, port INTEGER);"),
            "[E][%s] Create table tbManualDevices fail."},
        {QStringLiteral("CREATE TABLE IF NOT EXISTS tbRememberedDevices (uuid TEXT, ip TEXT, port INTEGER, name TEXT, "
                        "lastSeen INTEGER, kind TEXT, PRIMARY KEY (uuid, ip, port));"),
            "[E][%s] Create table tbRememberedDevices fail."},
    };
    bool ok = true;
    for (const auto& table : tables) {
        if (q.exec(table.first))
            continue;
        qCritical(table.second, Tag);
        if (ok) {
            *failed = sqliteText(q.lastError());
            *code = sqliteCode(q.lastError());
        }
        ok = false;
        if (isLocked(*code))
            break; // the next would wait as long again
    }
    if (ok)
        upgradeRememberedDevices(q);
    return ok;
}

void QuorvelClientDatabase::upgradeRememberedDevices(QSqlQuery& q)
{
    // An older table lacks what the party is; a newer one has it (the error is the sign).
    q.exec(QStringLiteral("ALTER TABLE tbRememberedDevices ADD COLUMN kind TEXT;"));
    // The command-line client once kept devices in a table of its own: they join these.
    q.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = 'tbCtlDevices';"));
    if (!q.next())
        return;
    q.finish();
    if (q.exec(QStringLiteral("INSERT OR IGNORE INTO tbRememberedDevices (uuid, ip, port, name, lastSeen, kind) "
                              "SELECT uuid, ip, port, name, lastSeen, kind FROM tbCtlDevices WHERE uuid <> '';")))
        q.exec(QStringLiteral("DROP TABLE tbCtlDevices;"));
}

QString QuorvelClientDatabase::moveAside()
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString aside = m_path + QStringLiteral(".corrupt-") + stamp;
    for (int n = 2; QFile::exists(aside); ++n)
        aside = m_path + QStringLiteral(".corrupt-%1-%2").arg(stamp).arg(n);
    if (!QFile::rename(m_path, aside))
        return QString();
    // A journal belongs to the damaged file: it goes along, or SQLite would replay it
    // into the new one.
    const QString journal = m_path + QStringLiteral("-journal");
    if (QFile::exists(journal))
        QFile::rename(journal, aside + QStringLiteral("-journal"));
    return aside;
}

void QuorvelClientDatabase::open()
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Create the file for its owner alone before SQLite writes anything into it.
        // (Made and closed through QFile instead, the cross-process test saw other
        // processes' writes fail with "database is locked"; the plain call does not.)
        if (QFile::exists(m_path)) {
            QFile::setPermissions(m_path, OwnerOnly);
        } else {
            const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST) {
                setError(tr("无法打开 %1: %2").arg(m_path, lowerFirst(QString::fromLocal8Bit(strerror(errno)))));
                qCritical("[E][%s] Open database fail.", Tag);
                return;
            }
            if (fd >= 0)
                ::close(fd);
        }
        QSqlQuery q;
        m_open = true; // lets query() try the connection
        if (!query(&q)) {
            m_open = false;
            qCritical("[E][%s] Open database fail.", Tag);
            return;
        }
        // A first read tells a damaged file from a locked one, without waiting: a file
        // that another program holds is checked again on first use, and the start (or
        // the command) waits for it once, not twice.
        q.exec(QStringLiteral("PRAGMA busy_timeout = 0;"));
        const bool readable = q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master;"));
        const QSqlError probeError = q.lastError();
        q.finish();
        q.exec(QStringLiteral("PRAGMA busy_timeout = %1;").arg(Timing::current().databaseBusyWaitMs));
        q.finish();
        int code = readable ? 0 : sqliteCode(probeError);
        QString failed = readable ? QString() : sqliteText(probeError);
        if (isLocked(code)) {
            qWarning("[W][%s] %s is locked by another program; its tables are checked on first use.", Tag,
                qUtf8Printable(m_path));
            m_schemaPending = true;
            return;
        }
        if (readable && createTables(q, &failed, &code))
            return;
        if (isLocked(code)) {
            m_schemaPending = true;
            return;
        }
        m_open = false;
        if (attempt == 0 && (code == SqliteCorrupt || code == SqliteNotADatabase)) {
            // Damaged: keep it for whoever wants to rescue it, and start a new history.
            q = QSqlQuery();
            t_connection.localData()->drop();
            const QString aside = moveAside();
            if (!aside.isEmpty()) {
                const QString said = tr("%1 已损坏 (%2); 已移至 %3 并新建了一个空的").arg(m_path, failed, aside);
                qWarning("[W][%s] %s", Tag, qUtf8Printable(said));
                QMutexLocker lock(&m_errorLock);
                m_openWarning = said;
                continue;
            }
        }
        setError(tr("无法打开 %1: %2").arg(m_path, failed));
        return;
    }
}

bool QuorvelClientDatabase::query(QSqlQuery* out)
{
    if (!m_open)
        return false;
    if (!t_connection.hasLocalData())
        t_connection.setLocalData(new ThreadConnection);
    ThreadConnection* connection = t_connection.localData();
    if (connection->generation != m_generation)
        connection->drop();
    if (connection->name.isEmpty()) {
        const QString name = QStringLiteral("QuorvelClient-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1));
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(m_path);
        // Another connection or process writing at the same moment is waited for, but
        // not for long: one that keeps the file locked makes the operation fail.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(Timing::current().databaseBusyWaitMs));
        if (!db.open()) {
            qCritical("[E][%s] Open database connection fail: %s", Tag, qUtf8Printable(db.lastError().text()));
            setError(tr("无法打开 %1: %2").arg(m_path, db.lastError().text()));
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
            return false;
        }
        // Each record is its own transaction, and a batch of uploads writes one per file:
        // with a write-ahead log a commit costs no flush to the disk (four flushes, tens
        // of milliseconds, in the rollback journal). A crash may lose the latest records,
        // never the file's consistency.
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        connection->name = name;
        connection->generation = m_generation;
    }
    *out = QSqlQuery(QSqlDatabase::database(connection->name, false));
    if (m_schemaPending) {
        QString failed;
        int code = 0;
        if (!createTables(*out, &failed, &code)) {
            setError(isLocked(code) ? tr("%1 被其它程序锁定").arg(m_path) : tr("无法打开 %1: %2").arg(m_path, failed));
            return false;
        }
        m_schemaPending = false;
    }
    return true;
}

bool QuorvelClientDatabase::run(QSqlQuery& q, const QString& sql, const QVariantList& values, const char* logFormat)
{
    q.prepare(sql);
    for (const QVariant& value : values)
        q.addBindValue(value);
    if (q.exec())
        return true;
    report(logFormat, q);
    return false;
}

QByteArray QuorvelClientDatabase::getThumb(const QString& uuid, const QString& path, qint64 dateModified)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    if (!query(&q)
        || !run(q, QStringLiteral("SELECT thumb  FROM tbThumb WHERE uuid=? AND path=? AND dateModified=?;"),
            {uuid, path, dateModified}, "[E][%s] getThumb query fail: %s"))
        return QByteArray();
    return q.next() ? q.value(0).toByteArray() : QByteArray();
}

bool QuorvelClientDatabase::setThumb(
    const QString& uuid, const QString& path, qint64 dateModified, const QByteArray& thumb)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    if (!query(&q)
        || !run(q, QStringLiteral("SELECT COUNT(path) FROM tbThumb WHERE uuid=? AND path=?;"), {uuid, path},
            "[E][%s] get thumbs count fail: %s"))
        return false;
    const int count = q.next() ? q.value(0).toInt() : 0;
    q.finish();
    if (count == 0)
        return run(q, QStringLiteral("INSERT INTO tbThumb VALUES (:uuid, :path, :dateModified, :thumb);"),
            {uuid, path, dateModified, thumb}, "[E][%s] insert thumb fail: %s");
    return run(q, QStringLiteral("UPDATE tbThumb SET dateModified=?, thumb=? WHERE uuid=? AND path=?;"),
        {dateModified, thumb, uuid, path}, "[E][%s] update thumb fail: %s");
}

bool QuorvelClientDatabase::addRecentFileRecord(const RecentFilesContent& record)
{
    QString why;
    if (addRecord(record, &why))
        return true;
    // Said outside the lock: a listener may well read the store.
    emit warning(tr("无法写入历史记录: %1").arg(why));
    return false;
}

bool QuorvelClientDatabase::addRecord(const RecentFilesContent& record, QString* why)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    if (!query(&q)
        || !run(q,
            QStringLiteral("INSERT INTO tbRecentFiles VALUES (:uuid, :remotePath, :nativePath, :type, "
                           ":dateModified,:operateTime);"),
            {record.uuid, record.remotePath, record.nativePath, record.type, record.dateModified, record.operateTime},
            "[E][%s] Insert recent file record fail: %s")) {
        *why = lastError();
        return false;
    }
    return true;
}

bool QuorvelClientDatabase::deleteRecentFileRecord(qint64 rowid)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(q, QStringLiteral("DELETE FROM tbRecentFiles WHERE rowid = :rowid"), {rowid},
            "[E][%s] Delete recent file record fail: %s");
}

bool QuorvelClientDatabase::clearRecentFileRecord(const QString& uuid)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(q, QStringLiteral("DELETE FROM tbRecentFiles WHERE uuid = :uuid;"), {uuid},
            "[E][%s] Clear recent files recored fail: %s");
}

QList<RecentFilesContent> QuorvelClientDatabase::getRecentFiles(const QString& uuid)
{
    QMutexLocker lock(&g_mutex);
    QList<RecentFilesContent> records;
    QSqlQuery q;
    if (!query(&q)
        || !run(q,
            QStringLiteral("SELECT rowid, remotePath, nativePath, type, dateModified, operateTime FROM "
                           "tbRecentFiles WHERE uuid = :uuid ORDER BY operateTime DESC;"),
            {uuid}, "[E][%s] Get recent files fail: %s"))
        return records;
    while (q.next()) {
        RecentFilesContent r;
        r.rowid = q.value(0).toLongLong();
        r.uuid = uuid;
        r.remotePath = q.value(1).toString();
        r.nativePath = q.value(2).toString();
        r.type = q.value(3).toString();
        r.dateModified = q.value(4).toLongLong();
        r.operateTime = q.value(5).toLongLong();
        records.append(r);
    }
    return records;
}

bool QuorvelClientDatabase::addManualDevice(const ServerContent& device)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(q, QStringLiteral("INSERT INTO tbManualDevices VALUES (:ip, :port);"),
            {device.address.toString(), device.port}, "[E][%s] addManualDevice insert fail: %s");
}

bool QuorvelClientDatabase::removeManualDevice(const ServerContent& device)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(q, QStringLiteral("DELETE FROM tbManualDevices WHERE ip = :ip AND port = :port;"),
            {device.address.toString(), device.port}, "[E][%s] removeManualDevice remove fail: %s");
}

bool QuorvelClientDatabase::clearManualDevice()
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(
            q, QStringLiteral("DELETE FROM tbManualDevices WHERE 1;"), {}, "[E][%s] clearManualDevice clear fail: %s");
}

QList<ServerContent> QuorvelClientDatabase::getManualDevices()
{
    QMutexLocker lock(&g_mutex);
    QList<ServerContent> devices;
    QSqlQuery q;
    if (!query(&q)
        || !run(q, QStringLiteral("SELECT ip, port FROM tbManualDevices WHERE 1;"), {},
            "[E][%s] getManualDevices query db fail: %s"))
        return devices;
    while (q.next()) {
        ServerContent device;
        device.address = QHostAddress(q.value(0).toString());
        device.port = q.value(1).toInt();
        // Host names and ranges share the table: getManualTargets() has them.
        if (!device.address.isNull())
            devices.append(device);
    }
    return devices;
}

QList<ManualTarget> QuorvelClientDatabase::getManualTargets()
{
    QMutexLocker lock(&g_mutex);
    QList<ManualTarget> targets;
    QSqlQuery q;
    if (!query(&q)
        || !run(q, QStringLiteral("SELECT ip, port FROM tbManualDevices WHERE 1;"), {},
            "[E][%s] getManualTargets query db fail: %s"))
        return targets;
    while (q.next()) {
        const ManualTarget target = ManualTarget::fromStored(q.value(0).toString(), q.value(1).toInt());
        if (target.isValid())
            targets.append(target);
    }
    return targets;
}

bool QuorvelClientDatabase::addManualTarget(const ManualTarget& target)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return target.isValid() && query(&q)
        && run(q, QStringLiteral("INSERT INTO tbManualDevices VALUES (:ip, :port);"), {target.text(), target.port()},
            "[E][%s] addManualTarget insert fail: %s");
}

bool QuorvelClientDatabase::removeManualTarget(const ManualTarget& target)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(q, QStringLiteral("DELETE FROM tbManualDevices WHERE ip = :ip AND port = :port;"),
            {target.text(), target.port()}, "[E][%s] removeManualTarget remove fail: %s");
}

bool QuorvelClientDatabase::rememberDevice(const ServerContent& device, qint64 seenAt)
{
    if (device.uuid.isEmpty() || device.address.isNull())
        return false;
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(q,
            QStringLiteral("INSERT OR REPLACE INTO tbRememberedDevices (uuid, ip, port, name, lastSeen, kind) "
                           "VALUES (:uuid, :ip, :port, :name, :lastSeen, :kind);"),
            {device.uuid, device.address.toString(), device.port, device.name, seenAt, device.type},
            "[E][%s] rememberDevice insert fail: %s")
        && run(q,
            QStringLiteral("DELETE FROM tbRememberedDevices WHERE rowid NOT IN (SELECT rowid FROM "
                           "tbRememberedDevices ORDER BY lastSeen DESC LIMIT :kept);"),
            {MaxRememberedDevices}, "[E][%s] rememberDevice trim fail: %s");
}

bool QuorvelClientDatabase::forgetDevicesSeenBefore(qint64 seenBefore)
{
    QMutexLocker lock(&g_mutex);
    QSqlQuery q;
    return query(&q)
        && run(q, QStringLiteral("DELETE FROM tbRememberedDevices WHERE lastSeen < :before;"), {seenBefore},
            "[E][%s] forgetDevicesSeenBefore delete fail: %s");
}

QList<ServerContent> QuorvelClientDatabase::rememberedDevices(qint64 seenSince)
{
    QMutexLocker lock(&g_mutex);
    QList<ServerContent> devices;
    QSqlQuery q;
    if (!query(&q)
        || !run(q,
            QStringLiteral("SELECT ip, port, uuid, name, lastSeen, kind FROM tbRememberedDevices WHERE lastSeen >= "
                           ":since ORDER BY lastSeen DESC;"),
            {seenSince}, "[E][%s] rememberedDevices query db fail: %s"))
        return devices;
    while (q.next()) {
        ServerContent device;
        device.address = QHostAddress(q.value(0).toString());
        device.port = q.value(1).toInt();
        device.uuid = q.value(2).toString();
        device.name = q.value(3).toString();
        device.lastSeen = q.value(4).toLongLong();
        device.type = q.value(5).toString();
        if (!device.address.isNull() && device.port > 0 && device.port <= 65535)
            devices.append(device);
    }
    return devices;
}
