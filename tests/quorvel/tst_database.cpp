#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentRun>
#include <QtTest>
#include <atomic>

#include "QuorvelClientDatabase.h"

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
    void unwritableFolderLeavesEmptyLists();
    void manyThreadsNoErrorsNothingLost();
    void secondProcessIsNeverLockedOut();

private:
    QTemporaryDir* m_dir = nullptr;
};

void TestDatabase::initTestCase()
{
    g_previous = qInstallMessageHandler(countErrors);
}

void TestDatabase::init()
{
    m_dir = new QTemporaryDir;
    QDir::setCurrent(m_dir->path());
    QuorvelClientDatabase::resetForTests();
    g_sqlErrors = 0;
}

void TestDatabase::cleanup()
{
    QuorvelClientDatabase::resetForTests();
    delete m_dir;
}

void TestDatabase::thumbnailsAreKeyedByModificationTime()
{
    auto* db = QuorvelClientDatabase::instance();
    QVERIFY(db->isOpen());
    QVERIFY(QFile::exists("QuorvelClient.db"));
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
    auto* db = QuorvelClientDatabase::instance();
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
    auto* db = QuorvelClientDatabase::instance();
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

void TestDatabase::unwritableFolderLeavesEmptyLists()
{
    // A folder where the file should be cannot be opened, even by root.
    QVERIFY(QDir().mkdir("QuorvelClient.db"));
    QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^\\[E\\]\\[QuorvelClientDatabase\\] Open database"));
    QTest::ignoreMessage(QtCriticalMsg, "[E][QuorvelClientDatabase] Open database fail.");
    auto* db = QuorvelClientDatabase::instance();
    QVERIFY(!db->isOpen());
    QVERIFY(db->getManualDevices().isEmpty());
    QVERIFY(!db->addRecentFileRecord(record("u1", 1)));
    QVERIFY(db->getRecentFiles("u1").isEmpty());
    QVERIFY(db->getThumb("u", "p", 1).isEmpty());
    QVERIFY(!db->setThumb("u", "p", 1, "x"));
}

void TestDatabase::manyThreadsNoErrorsNothingLost()
{
    auto* db = QuorvelClientDatabase::instance();
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
    auto* db = QuorvelClientDatabase::instance();
    QVERIFY(db->isOpen());
    QList<QProcess*> writers;
    for (int p = 0; p < 2; ++p) {
        auto* writer = new QProcess(this);
        writer->setWorkingDirectory(m_dir->path());
        writer->setProcessChannelMode(QProcess::MergedChannels);
        writer->start(QCoreApplication::applicationFilePath(), {"--writer", QString("process-%1").arg(p), "500"});
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
static int writerMain(const QString& uuid, int count)
{
    auto* db = QuorvelClientDatabase::instance();
    for (int i = 0; i < count; ++i) {
        if (!db->addRecentFileRecord(record(uuid, i)))
            return 1;
    }
    return g_sqlErrors.load() == 0 ? 0 : 1;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc == 4 && qstrcmp(argv[1], "--writer") == 0) {
        g_previous = qInstallMessageHandler(countErrors);
        return writerMain(QString::fromLocal8Bit(argv[2]), atoi(argv[3]));
    }
    TestDatabase test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_database.moc"
