#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>

#include <QSqlDatabase>
#include <QSqlQuery>

#include "AppFolder.h"
#include "ScopedTiming.h"
#include "TestFiles.h"
#include "WithoutFileOverride.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"

namespace {
RecentFilesContent record(const QString& uuid, qint64 operateTime, const QString& name = "a.txt")
{
    return {
        0, uuid, "file_upload", "/QuorVEL/上传/" + name, "/home/u/" + name, QByteArray(), operateTime, 1480000000000};
}

ServerContent device(const char* address, int port)
{
    ServerContent d;
    d.address = QHostAddress(address);
    d.port = port;
    return d;
}
} // namespace

// The store of an application folder that is not the current directory. A failure shows
// in lastError(), which no later success clears.
class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void init();
    void keysOrderUniquenessAndMode();
    void unusableFolderFailsWithAReason_data();
    void unusableFolderFailsWithAReason();
    void manyThreadsAndProcessesNoErrorsNothingLost();
    void damagedOrLockedStore_data();
    void damagedOrLockedStore();

private:
    QuorvelClientDatabase* open()
    {
        m_db.reset();
        m_db = std::make_unique<QuorvelClientDatabase>(app());
        return m_db.get();
    }
    QString app() const { return m_folder->path(); }

    std::unique_ptr<AppFolder> m_folder;
    std::unique_ptr<QuorvelClientDatabase> m_db;
};

void TestDatabase::init()
{
    m_db.reset();
    m_folder = std::make_unique<AppFolder>();
    QVERIFY(m_folder->isValid());
}

void TestDatabase::keysOrderUniquenessAndMode()
{
    auto* db = open();
    QVERIFY(!QFile::exists("QuorvelClient.db")); // not in the current directory

    // A thumbnail is the device's file at one modification time.
    QVERIFY(db->setThumb("u1", "/a.png", 100, "first") && db->setThumb("u1", "/a.png", 200, "second"));
    QVERIFY(db->getThumb("u1", "/a.png", 100).isEmpty() && db->getThumb("u2", "/a.png", 200).isEmpty());
    QCOMPARE(db->getThumb("u1", "/a.png", 200), QByteArray("second"));

    // History: per device, newest first, every field back in its place.
    for (qint64 time : {300, 100, 200})
        QVERIFY(db->addRecentFileRecord(record("u1", time, QString::number(time))));
    QVERIFY(db->addRecentFileRecord(record("u2", 999)));
    QList<RecentFilesContent> list = db->getRecentFiles("u1");
    QCOMPARE(list.size(), 3);
    QCOMPARE(QList<qint64>({list.at(0).operateTime, list.at(1).operateTime, list.at(2).operateTime}),
        QList<qint64>({300, 200, 100}));
    const RecentFilesContent& r = list.at(1);
    QCOMPARE(QStringList({r.uuid, r.type, r.remotePath, r.nativePath, QString::number(r.dateModified)}),
        QStringList({"u1", "file_upload", QString::fromUtf8("/QuorVEL/上传/200"), "/home/u/200", "1480000000000"}));
    QVERIFY(db->deleteRecentFileRecord(r.rowid));
    QCOMPARE(db->getRecentFiles("u1").size(), 2);
    QVERIFY(db->clearRecentFileRecord("u1"));
    QVERIFY(db->getRecentFiles("u1").isEmpty());
    QCOMPARE(db->getRecentFiles("u2").size(), 1);
    QVERIFY2(db->lastError().isEmpty(), qPrintable(db->lastError()));

    // One port per hand-added address.
    QVERIFY(db->addManualDevice(device("192.0.2.10", 16020)));
    QVERIFY(!db->addManualDevice(device("192.0.2.10", 17000)));
    QVERIFY(!db->lastError().isEmpty());
    const QList<ServerContent> devices = db->getManualDevices();
    QVERIFY(devices.size() == 1 && devices.at(0) == device("192.0.2.10", 16020) && devices.at(0).port == 16020);
    QVERIFY(db->clearManualDevice());
    QVERIFY(db->getManualDevices().isEmpty());

    // A host answering under ever new uuids keeps only the newest rows.
    for (int i = 0; i < QuorvelClientDatabase::MaxRememberedDevices + 10; ++i) {
        ServerContent d = device("192.0.2.20", 16020);
        d.uuid = QString::number(i);
        QVERIFY(db->rememberDevice(d, 1000 + i));
    }
    const QList<ServerContent> remembered = db->rememberedDevices(0);
    QCOMPARE(remembered.size(), QuorvelClientDatabase::MaxRememberedDevices);
    QCOMPARE(remembered.first().uuid, QString::number(QuorvelClientDatabase::MaxRememberedDevices + 9));
    // What the command-line client once kept in a table of its own joins them when the
    // file is next opened, with what each party is.
    {
        QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "old-ctl");
        old.setDatabaseName(app() + "/QuorvelClient.db");
        QSqlQuery q(old.open() ? old : QSqlDatabase());
        QVERIFY(q.exec("CREATE TABLE tbCtlDevices (ip TEXT, port INTEGER, uuid TEXT, name TEXT, lastSeen INTEGER, "
                       "kind TEXT, PRIMARY KEY (ip, port));"));
        QVERIFY(
            q.exec("INSERT INTO tbCtlDevices VALUES ('198.51.100.7', 16020, 'ctl', 'Room C', 99999999, 'client');"));
    }
    QSqlDatabase::removeDatabase("old-ctl");

    // The file is its owner's only; one an older copy left readable to all is narrowed
    // when it is opened.
    const QString file = app() + "/QuorvelClient.db";
    QCOMPARE(AppFolder::modeOf(file), 0600);
    QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    QuorvelClientDatabase* reopened = open();
    QCOMPARE(reopened->getRecentFiles("u2").size(), 1);
    QCOMPARE(AppFolder::modeOf(file), 0600);
    const ServerContent kept = reopened->rememberedDevices(0).first();
    QCOMPARE(QStringList({kept.uuid, kept.name, kept.type, kept.address.toString()}),
        QStringList({"ctl", "Room C", "client", "198.51.100.7"}));
}

void TestDatabase::unusableFolderFailsWithAReason_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason"); // %1: the file
    QTest::newRow("read-only folder") << "read-only"
                                      << "cannot open %1: permission denied";
    QTest::newRow("a folder in the file's place") << "folder"
                                                  << "cannot open %1: unable to open database file";
}

void TestDatabase::unusableFolderFailsWithAReason()
{
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    const QString file = app() + "/QuorvelClient.db";
    QVERIFY(setup == "read-only" ? m_folder->makeReadOnly() : QDir().mkdir(file));
    WithoutFileOverride asAUser;
    auto* db = open();
    QVERIFY(!db->isOpen());
    QVERIFY2(db->lastError().startsWith(reason.arg(file)), qPrintable(db->lastError()));
    QVERIFY(
        db->getManualDevices().isEmpty() && db->getRecentFiles("u1").isEmpty() && db->getThumb("u", "p", 1).isEmpty());
    QVERIFY(!db->addRecentFileRecord(record("u1", 1)) && !db->setThumb("u", "p", 1, "x"));
}

// Eight threads here and two other processes use the same file at once.
void TestDatabase::manyThreadsAndProcessesNoErrorsNothingLost()
{
    auto* db = open();
    QList<QProcess*> writers;
    for (int p = 0; p < 2; ++p) {
        writers.append(new QProcess(this));
        writers.last()->setProcessChannelMode(QProcess::MergedChannels);
        writers.last()->start(
            QCoreApplication::applicationFilePath(), {"--writer", app(), QString("process-%1").arg(p), "500"});
    }
    QList<QFuture<bool>> workers;
    for (int t = 0; t < 8; ++t) {
        workers.append(QtConcurrent::run([db, t] {
            const QString uuid = QString("thread-%1").arg(t);
            bool ok = true;
            for (int i = 0; i < 1000; ++i) {
                switch (i % 4) {
                case 0: ok &= db->addRecentFileRecord(record(uuid, i)); break;
                case 1: ok &= db->setThumb(uuid, QString("/p%1").arg(i % 10), i, QByteArray::number(i)); break;
                case 2: db->getThumb(uuid, QString("/p%1").arg(i % 10), i - 1); break;
                default: db->getRecentFiles(uuid); break;
                }
            }
            return ok;
        }));
    }
    for (QFuture<bool>& w : workers)
        QVERIFY(w.result());
    for (QProcess* writer : writers)
        QVERIFY2(writer->waitForFinished(60000) && writer->exitCode() == 0, writer->readAll().constData());
    QVERIFY2(db->lastError().isEmpty(), qPrintable(db->lastError()));
    for (int t = 0; t < 8; ++t)
        QCOMPARE(db->getRecentFiles(QString("thread-%1").arg(t)).size(), 250);
    for (const char* uuid : {"process-0", "process-1"})
        QCOMPARE(db->getRecentFiles(uuid).size(), 500);
}

// A damaged file is moved aside and a new store made, which the user hears of; a file
// another process keeps locked is waited for briefly, and the record that could not be
// written is reported, then written once the lock is gone.
void TestDatabase::damagedOrLockedStore_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("a file that is no database") << "garbage";
    QTest::newRow("a database with a broken header") << "header";
    QTest::newRow("another process writing") << "IMMEDIATE";
    QTest::newRow("another process holding it all") << "EXCLUSIVE";
}

void TestDatabase::damagedOrLockedStore()
{
    QFETCH(QString, setup);
    const QString file = app() + "/QuorvelClient.db";
    open()->addRecentFileRecord(record("u1", 1, "before.txt"));
    m_db.reset();
    const bool damaged = setup == "garbage" || setup == "header";
    QByteArray before;
    std::unique_ptr<QProcess> locker;
    if (damaged) {
        before = TestFiles::read(file);
        QVERIFY(TestFiles::write(file, setup == "header" ? "SQLite format 4" + before.mid(15) : QByteArray(4096, 'x')));
        before = TestFiles::read(file);
    } else {
        locker = std::make_unique<QProcess>();
        locker->start(QCoreApplication::applicationFilePath(), {"--lock", file, setup});
        QVERIFY(locker->waitForReadyRead(20000));
        QCOMPARE(locker->readLine(), QByteArray("locked\n"));
    }

    const ScopedTiming timing([](Timing& t) { t.databaseBusyWaitMs = 500; });
    QElapsedTimer clock;
    clock.start();
    // Many times the busy wait: the lock waited out at every statement, or not bounded at all.
    const qint64 stuckMs = 6 * Timing::current().databaseBusyWaitMs;
    auto* db = open();
    QSignalSpy warnings(db, &QuorvelClientDatabase::warning);
    const bool written = db->addRecentFileRecord(record("u1", 2, "after.txt"));
    const qint64 took = clock.elapsed();
    QVERIFY(db->isOpen());
    if (damaged) {
        const QStringList aside = QDir(app()).entryList({"QuorvelClient.db.corrupt-*"});
        QCOMPARE(aside.size(), 1);
        QVERIFY(QRegularExpression("^QuorvelClient\\.db\\.corrupt-\\d{8}-\\d{6}$").match(aside.first()).hasMatch());
        QCOMPARE(TestFiles::read(app() + "/" + aside.first()), before); // kept as it was
        QVERIFY2(
            db->openWarning().contains("moved aside to " + app() + "/" + aside.first()), qPrintable(db->openWarning()));
        QVERIFY(written && warnings.isEmpty());
        QCOMPARE(db->getRecentFiles("u1").size(), 1); // a new, working store
    } else {
        QVERIFY(db->openWarning().isEmpty());
        QVERIFY(!written);
        QVERIFY2(took < stuckMs, qPrintable(QStringLiteral("stuck on the lock for %1 ms").arg(took)));
        QCOMPARE(warnings.size(), 1);
        QCOMPARE(warnings.first().first().toString(),
            QString("the history could not be written: %1 is locked by another program").arg(file));
        locker->write("\n");
        QVERIFY(locker->waitForFinished(20000) && locker->exitCode() == 0);
        QVERIFY(db->addRecentFileRecord(record("u1", 3, "later.txt")));
        QCOMPARE(db->getRecentFiles("u1").size(), 2);
        QVERIFY(QDir(app()).entryList({"QuorvelClient.db.corrupt-*"}).isEmpty());
    }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Lock mode for the locking test: holds the store locked (BEGIN IMMEDIATE or
    // EXCLUSIVE) until a line arrives on standard input.
    if (argc == 4 && qstrcmp(argv[1], "--lock") == 0) {
        QSqlDatabase lockDb = QSqlDatabase::addDatabase("QSQLITE", "locker");
        lockDb.setDatabaseName(QString::fromLocal8Bit(argv[2]));
        QSqlQuery q(lockDb.open() ? lockDb : QSqlDatabase());
        if (!q.exec(QString("BEGIN %1;").arg(argv[3])) || !q.exec("INSERT INTO tbThumb VALUES ('x', 'y', 1, 'z');"))
            return 1;
        printf("locked\n");
        fflush(stdout);
        char line[8];
        return fgets(line, sizeof line, stdin) && q.exec("ROLLBACK;") ? 0 : 1;
    }
    // Writer mode for the cross-process test: N records under a uuid; on a failure, its
    // reason and exit 1.
    if (argc == 5 && qstrcmp(argv[1], "--writer") == 0) {
        QuorvelClientDatabase db(QString::fromLocal8Bit(argv[2]));
        for (int i = 0; i < atoi(argv[4]); ++i) {
            if (!db.addRecentFileRecord(record(QString::fromLocal8Bit(argv[3]), i)))
                break;
        }
        printf("%s\n", qPrintable(db.lastError()));
        return db.lastError().isEmpty() ? 0 : 1;
    }
    TestDatabase test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_database.moc"
