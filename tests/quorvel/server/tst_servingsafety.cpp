#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtTest>

#include "DeviceProcess.h"
#include "TestFiles.h"
#include "app/AppContext.h"
#include "quorvel/server/IncomingFile.h"
#include "quorvel/server/ServingSessions.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/transfer/FileDownloader.h"

// What arrives never lands on anything that was already there, and what is served is
// served on a port held from the moment it was chosen.
class TestServingSafety : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // A download that lands writes its history record.
        m_context = std::make_unique<AppContext>(m_dir.filePath("app"));
        Timing t;
        t.downloadReplyWaitMs = 2000;
        t.downloadTcpWaitMs = 300;
        Timing::setForTests(t);
    }
    void twoOffersOfOneNameNeverOverwrite();
    void linkPlantedAtTheTargetIsNotFollowed();
    void servingPortIsHeldFromAllocation();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
};

void TestServingSafety::twoOffersOfOneNameNeverOverwrite()
{
    const QString folder = m_dir.filePath("in");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(!TestFiles::patterned(folder + "/a.txt", 4).isEmpty());
    const QString mine = TestFiles::md5Of(folder + "/a.txt");

    // The target is held when chosen (nothing is created before bytes arrive): the second
    // offer of the name, chosen before the first one wrote a byte, gets a name of its own.
    const QString first = IncomingFile::targetIn(folder, "a.txt", ServerContent(), "/a.txt");
    const QString second = IncomingFile::targetIn(folder, "a.txt", ServerContent(), "/a.txt");
    QCOMPARE(first, folder + "/a (1).txt");
    QCOMPARE(second, folder + "/a (2).txt");
    QVERIFY(!QFileInfo::exists(first + ".part") && !QFileInfo::exists(first));
    QCOMPARE(TestFiles::md5Of(folder + "/a.txt"), mine);

    QString reason;
    QVERIFY(IncomingFile::targetIn(folder + "/a.txt", "b.txt", ServerContent(), "/b.txt", &reason)
                .isEmpty()); // a file, no folder
    QVERIFY2(reason.contains("cannot create"), qPrintable(reason));
}

void TestServingSafety::linkPlantedAtTheTargetIsNotFollowed()
{
    DeviceProcess device({"--address", "127.0.0.30", "--no-mdns"});
    QVERIFY(device.isReady());
    const QString folder = m_dir.filePath("links");
    QVERIFY(QDir().mkpath(folder));
    const QString victim = m_dir.filePath("precious.txt");
    QVERIFY(!TestFiles::patterned(victim, 8).isEmpty());
    const QString precious = TestFiles::md5Of(victim);

    // Someone swaps the chosen target for a link to another file before the bytes come.
    ServerContent from;
    from.address = QHostAddress("127.0.0.30");
    const QString target = IncomingFile::targetIn(folder, "readme.txt", from, "/Quorvel/readme.txt");
    QVERIFY(!QFileInfo::exists(target)); // nothing is made before bytes arrive
    QVERIFY(QFile::link(victim, target));
    int outcome = 0;
    {
        FileDownloader task("/Quorvel/readme.txt", target, from, 0);
        connect(&task, &FileDownloader::updateProgress, this, [&](const ProgressContent& p) { outcome = p.progress; });
        task.run();
    }
    // The file lands beside the link, which stays as it is.
    QCOMPARE(outcome, int(ProgressContent::Done));
    QCOMPARE(TestFiles::md5Of(victim), precious);
    QVERIFY(QFileInfo(target).isSymLink());
    QVERIFY(QFileInfo(folder + "/readme (1).txt").isFile());
}

void TestServingSafety::servingPortIsHeldFromAllocation()
{
    uint firstSession = 0;
    uint secondSession = 0;
    const std::unique_ptr<QTcpServer> first = ServingSessions::allocate(&firstSession);
    const std::unique_ptr<QTcpServer> second = ServingSessions::allocate(&secondSession);
    QVERIFY(first && first->isListening());
    QVERIFY(second && second->isListening());
    QVERIFY(firstSession != secondSession);
    QVERIFY(first->serverPort() != second->serverPort());

    // Nobody can take the port between its choice and the party's connection...
    QTcpServer squatter;
    QVERIFY(!squatter.listen(QHostAddress::Any, first->serverPort()));
    // ... and the party reaches this listener on it.
    QTcpSocket party;
    party.connectToHost(QHostAddress::LocalHost, first->serverPort());
    QVERIFY(party.waitForConnected(3000));
    QVERIFY(first->hasPendingConnections() || first->waitForNewConnection(3000));
}

QTEST_GUILESS_MAIN(TestServingSafety)
#include "tst_servingsafety.moc"
