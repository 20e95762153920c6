#include <QtTest>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "TestFiles.h"
#include "TestNetwork.h"

// Transfers over links as people have them: slow, broken for a moment, or carrying many
// small files at once. The command-line client on one host, the simulated device on
// another, the device's link shaped or cut at the switch; the protocol's own waits.
class TestLinks : public QObject {
    Q_OBJECT
private slots:
    void links_data();
    void links();
};

void TestLinks::links_data()
{
    QTest::addColumn<bool>("sending");
    QTest::addColumn<int>("kbit"); // the device's link each way, 0: not shaped
    QTest::addColumn<int>("files");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<double>("cutAt"); // share of the file moved when the link goes down for 3 s, 0: never
    // Still running then, the command is stuck: several times what the row needs, yet short
    // of what a wait per file or per lost connection would add.
    QTest::addColumn<int>("hungMs");
    // About 10 s at 4 Mbit/s: the kernel takes it all at once, so the device has it
    // seconds after the last write returned (pins queries that start at the last write
    // and run out before the bytes have arrived).
    QTest::newRow("upload at 4 Mbit/s") << true << 4000 << 1 << qint64(5000000) << 0.0 << 60000;
    QTest::newRow("download at 4 Mbit/s") << false << 4000 << 1 << qint64(5000000) << 0.0 << 60000;
    // Each resumes (or a dead connection costs an attempt) and ends with the same MD5.
    QTest::newRow("upload, link down 3 s") << true << 8000 << 1 << qint64(8000000) << 0.3 << 90000;
    QTest::newRow("download, link down 3 s") << false << 8000 << 1 << qint64(8000000) << 0.3 << 90000;
    // The protocol's 500 ms before each first query alone would take 100 s.
    QTest::newRow("200 small files in one call") << true << 0 << 200 << qint64(10240) << 0.0 << 40000;
}

void TestLinks::links()
{
    QFETCH(bool, sending);
    QFETCH(int, kbit);
    QFETCH(int, files);
    QFETCH(qint64, size);
    QFETCH(double, cutAt);
    QFETCH(int, hungMs);
    QUORVEL_TEST_NETWORK(net, 2);
    QVERIFY2(net.shapeLink(1, kbit), qPrintable(net.error()));
    QUORVEL_DEVICE(device, {"--no-mdns"}, net.prefix(1));

    ClientFolder client(ClientFolder::CommandLineOnly);
    QVERIFY(client.isValid());
    const QString here = client.path() + "/files";
    const QString there = device.folder() + (sending ? QString::fromUtf8("/Quorvel/上传") : QString("/Quorvel"));
    QVERIFY(QDir().mkpath(here) && QDir().mkpath(there));
    QStringList names;
    for (int i = 0; i < files; ++i) {
        names << QStringLiteral("f%1.bin").arg(i);
        QVERIFY(!TestFiles::patterned((sending ? here : there) + "/" + names.last(), size + i).isEmpty());
    }
    QStringList arguments{sending ? "upload" : "download", net.address(1).toString()};
    if (sending) {
        for (const QString& name : qAsConst(names))
            arguments << here + "/" + name;
    } else {
        arguments << "/Quorvel/" + names.first() << "-o" << here + "/" + names.first();
    }

    QElapsedTimer took;
    took.start();
    QProcess* run = net.start(0, client.ctlProgram(), arguments);
    if (cutAt > 0) {
        // Where the bytes gather: the device's copy, or the client's part file.
        const QString growing = sending ? there + "/" + names.first() : here + "/" + names.first() + ".part";
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(growing).size() >= qint64(size * cutAt), 30000);
        QVERIFY(net.setLinkUp(1, false));
        QTest::qWait(3000); // the outage itself
        QVERIFY(net.setLinkUp(1, true));
    }
    const bool ended = run->waitForFinished(qMax<qint64>(1, hungMs - took.elapsed()));
    const QByteArray said = run->readAllStandardOutput() + run->readAllStandardError();
    QVERIFY2(ended, qPrintable(QStringLiteral("hung, still running after %1 ms: ").arg(took.elapsed()) + said));
    QVERIFY2(run->exitCode() == 0, said.constData());
    for (const QString& name : qAsConst(names))
        QCOMPARE(TestFiles::md5Of(there + "/" + name), TestFiles::md5Of(here + "/" + name));
    QVERIFY(!QFileInfo::exists(here + "/" + names.first() + ".part"));
}

QTEST_GUILESS_MAIN(TestLinks)
#include "tst_links.moc"
