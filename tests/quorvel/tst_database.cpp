#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>
#include <atomic>
#include <memory>
#include <sys/stat.h>

#include "QuorvelClientDatabase.h"
#include "WithoutFileOverride.h"

namespace {
std::atomic<int> g_sqlErrors{0};
QtMessageHandler g_previous = nullptr;
void countErrors(QtMsgType type, const QMessageLogContext& context, const QString& msg)
{
    if (msg.startsWith(QLatin1String("[E][QuorvelClientDatabase]")))
        ++g_sqlErrors;
    g_previous(type, context, msg);
}

RecentFilesContent record(const QString& uuid, qint64 operateTime, const QString& name = "a.txt")
{
    RecentFilesContent r;
    r.uuid = uuid;
    r.type = "file_upload";
    r.remotePath = "/QuorVEL/上传/" + name;
    r.nativePath = "/home/u/" + name;
    r.dateModified = 1480000000000;
    r.operateTime = operateTime;
    return r;
}

int modeOf(const QString& path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}
} // namespace

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void thumbnailsAreKeyedByModificationTime();
    void recentFilesNewestFirstPerDevice();
    void manualDevices();
    void fileIsForItsOwnerOnly();
    void unusableFolderFailsWithAReason_data();
    void unusableFolderFailsWithAReason();
    void manyThreadsNoErrorsNothingLost();
    void secondProcessIsNeverLockedOut();

private:
    // The store of an application folder that is not the current directory.
    QuorvelClientDatabase* open()
    {
        m_db.reset();
        m_db = std::make_unique<QuorvelClientDatabase>(app());
        return m_db.get();
    }
    QString app() const { return m_dir->path() + "/app"; }

    QTemporaryDir* m_dir = nullptr;
    std::unique_ptr<QuorvelClientDatabase> m_db;
};

void TestDatabase::initTestCase()
{
    g_previous = qInstallMessageHandler(countErrors);
}

void TestDatabase::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(QDir(m_dir->path()).mkdir("app") && QDir(m_dir->path()).mkdir("elsewhere"));
    QDir::setCurrent(m_dir->path() + "/elsewhere");
    g_sqlErrors = 0;
}

void TestDatabase::cleanup()
{
    m_db.reset();
    QFile::setPermissions(app(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    delete m_dir;
}

void TestDatabase::thumbnailsAreKeyedByModificationTime()
{
    auto* db = open();
    QCOMPARE(QuorvelClientDatabase::instance(), db);
    QVERIFY(db->isOpen());
    QVERIFY(QFile::exists(app() + "/QuorvelClient.db"));
    QVERIFY(!QFile::exists("QuorvelClient.db")); // not in the current directory
    QVERIFY(db->getThumb("u1", "/Pictures/a.png", 100).isEmpty());
    QVERIFY(db->setThumb("u1", "/Pictures/a.png", 100, "first"));
    QCOMPARE(db->getThumb("u1", "/Pictures/a.png", 100), QByteArray("first"));
    QVERIFY(db->setThumb("u1", "/Pictures/a.png", 200, QByteArray("sec\0ond", 7)));
    QVERIFY(db->getThumb("u1", "/Pictures/a.png", 100).isEmpty()); // the old time misses now
    QCOMPARE(db->getThumb("u1", "/Pictures/a.png", 200), QByteArray("sec\0ond", 7));
    QVERIFY(db->getThumb("u2", "/Pictures/a.png", 200).isEmpty()); // another device
    QCOMPARE(g_sqlErrors.load(), 0);
}

void TestDatabase::recentFilesNewestFirstPerDevice()
{
    auto* db = open();
    QVERIFY(db->addRecentFileRecord(record("u1", 300, "c")));
    QVERIFY(db->addRecentFileRecord(record("u1", 100, "a")));
    QVERIFY(db->addRecentFileRecord(record("u2", 999, "other")));
    QVERIFY(db->addRecentFileRecord(record("u1", 200, "b")));
    QList<RecentFilesContent> list = db->getRecentFiles("u1");
    QCOMPARE(list.size(), 3);
    QCOMPARE(list.at(0).operateTime, qint64(300));
    QCOMPARE(list.at(1).operateTime, qint64(200));
    QCOMPARE(list.at(2).operateTime, qint64(100));
    QCOMPARE(list.at(0).remotePath, QString::fromUtf8("/QuorVEL/上传/c"));
    QCOMPARE(list.at(0).nativePath, QString("/home/u/c"));
    QCOMPARE(list.at(0).type, QString("file_upload"));
    QCOMPARE(list.at(0).uuid, QString("u1"));
    QCOMPARE(list.at(0).dateModified, qint64(1480000000000));
    QVERIFY(list.at(0).thumbnail.isNull());

    QVERIFY(db->deleteRecentFileRecord(list.at(1).rowid));
    QCOMPARE(db->getRecentFiles("u1").size(), 2);
    QVERIFY(db->clearRecentFileRecord("u1"));
    QVERIFY(db->getRecentFiles("u1").isEmpty());
    QCOMPARE(db->getRecentFiles("u2").size(), 1);
    QCOMPARE(g_sqlErrors.load(), 0);
}

void TestDatabase::manualDevices()
{
    auto* db = open();
    ServerContent a;
    a.address = QHostAddress("192.0.2.10");
    a.port = 16020;
    QVERIFY(db->addManualDevice(a));
    ServerContent sameAddress = a;
    sameAddress.port = 17000;
    QVERIFY(!db->addManualDevice(sameAddress)); // one port per address
    QCOMPARE(g_sqlErrors.load(), 1);
    QVERIFY(db->removeManualDevice(sameAddress)); // no row matches: nothing removed, still true
    QList<ServerContent> devices = db->getManualDevices();
    QCOMPARE(devices.size(), 1);
    QCOMPARE(devices.at(0).address, a.address);
    QCOMPARE(devices.at(0).port, 16020);
    QVERIFY(devices.at(0).name.isEmpty());
    QVERIFY(db->removeManualDevice(a));
    QVERIFY(db->getManualDevices().isEmpty());
    QVERIFY(db->addManualDevice(a));
    QVERIFY(db->clearManualDevice());
    QVERIFY(db->getManualDevices().isEmpty());
}

void TestDatabase::fileIsForItsOwnerOnly()
{
    open();
    QVERIFY(m_db->addRecentFileRecord(record("u1", 1)));
    QCOMPARE(modeOf(app() + "/QuorvelClient.db"), 0600);
    // A file an older copy left readable to all is narrowed when it is opened.
    m_db.reset();
    QVERIFY(::chmod(QFile::encodeName(app() + "/QuorvelClient.db").constData(), 0644) == 0);
    open();
    QCOMPARE(modeOf(app() + "/QuorvelClient.db"), 0600);
    QCOMPARE(m_db->getRecentFiles("u1").size(), 1);
}

void TestDatabase::unusableFolderFailsWithAReason_data()
{
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::addColumn<QString>("reason"); // %1: the file
    QTest::newRow("read-only folder") << true << "cannot open %1: permission denied";
    QTest::newRow("a folder in the file's place") << false << "cannot open %1: unable to open database file";
}

void TestDatabase::unusableFolderFailsWithAReason()
{
    QFETCH(bool, readOnlyFolder);
    QFETCH(QString, reason);
    const QString file = app() + "/QuorvelClient.db";
    if (readOnlyFolder)
        QVERIFY(QFile::setPermissions(app(), QFile::ReadOwner | QFile::ExeOwner));
    else
        QVERIFY(QDir().mkdir(file));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^\\[E\\]\\[QuorvelClientDatabase\\] Open database"));
    if (!readOnlyFolder)
        QTest::ignoreMessage(QtCriticalMsg, "[E][QuorvelClientDatabase] Open database fail.");
    WithoutFileOverride asAUser;
    auto* db = open();
    QVERIFY(!db->isOpen());
    QVERIFY2(db->lastError().startsWith(reason.arg(file)), qPrintable(db->lastError()));
    QVERIFY(db->getManualDevices().isEmpty());
    QVERIFY(!db->addRecentFileRecord(record("u1", 1)));
    QVERIFY(db->getRecentFiles("u1").isEmpty());
    QVERIFY(db->getThumb("u", "p", 1).isEmpty());
    QVERIFY(!db->setThumb("u", "p", 1, "x"));
}

void TestDatabase::manyThreadsNoErrorsNothingLost()
{
    auto* db = open();
    QList<QFuture<void>> workers;
    for (int t = 0; t < 8; ++t) {
        workers.append(QtConcurrent::run([db, t] {
            const QString uuid = QString("thread-%1").arg(t);
            for (int i = 0; i < 1000; ++i) {
                switch (i % 4) {
                case 0: db->addRecentFileRecord(record(uuid, i)); break;
                case 1: db->setThumb(uuid, QString("/p%1").arg(i % 10), i, QByteArray::number(i)); break;
                case 2: db->getThumb(uuid, QString("/p%1").arg(i % 10), i - 1); break;
                default: db->getRecentFiles(uuid); break;
                }
            }
        }));
    }
    for (QFuture<void>& w : workers)
        w.waitForFinished();
    QCOMPARE(g_sqlErrors.load(), 0);
    for (int t = 0; t < 8; ++t)
        QCOMPARE(db->getRecentFiles(QString("thread-%1").arg(t)).size(), 250);
}

void TestDatabase::secondProcessIsNeverLockedOut()
{
    // Two other processes and this one write the same file at once.
    auto* db = open();
    QVERIFY(db->isOpen());
    QList<QProcess*> writers;
    for (int p = 0; p < 2; ++p) {
        auto* writer = new QProcess(this);
        writer->setWorkingDirectory(m_dir->path());
        writer->setProcessChannelMode(QProcess::MergedChannels);
        writer->start(
            QCoreApplication::applicationFilePath(), {"--writer", app(), QString("process-%1").arg(p), "500"});
        writers.append(writer);
    }
    for (int i = 0; i < 500; ++i)
        QVERIFY(db->addRecentFileRecord(record("this-process", i)));
    for (QProcess* writer : writers) {
        QVERIFY(writer->waitForFinished(60000));
        const QByteArray output = writer->readAll();
        QVERIFY2(writer->exitCode() == 0, output.constData());
        QVERIFY2(!output.contains("locked"), output.constData());
    }
    QCOMPARE(g_sqlErrors.load(), 0);
    QCOMPARE(db->getRecentFiles("process-0").size(), 500);
    QCOMPARE(db->getRecentFiles("process-1").size(), 500);
    QCOMPARE(db->getRecentFiles("this-process").size(), 500);
}

// Writer mode for the cross-process test: N records under a uuid, exit 1 on any error.
static int writerMain(const QString& folder, const QString& uuid, int count)
{
    QuorvelClientDatabase db(folder);
    for (int i = 0; i < count; ++i) {
        if (!db.addRecentFileRecord(record(uuid, i)))
            return 1;
    }
    return g_sqlErrors.load() == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 5 && qstrcmp(argv[1], "--writer") == 0) {
        g_previous = qInstallMessageHandler(countErrors);
        return writerMain(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]), atoi(argv[4]));
    }
    TestDatabase test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_database.moc"
