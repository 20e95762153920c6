#include <QtTest>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "TestFiles.h"
#include "TestNetwork.h"
#include "json/QtJson.h"

// Client to client and client to device, each on a host of its own: one client offers,
// the other (quorvelctl serve) accepts and fetches; a device fetches with its decimal
// resumption offset.
class TestClientTransfer : public QObject {
    Q_OBJECT
private slots:
    void clientOffersClientFetchesAndASecondServeWaits();
    void deviceFetchesWithResumption();
};

// A second serve on the fetching host names the port the first one holds and says
// "serving" only once both are its own; with standard input closed, an offer it would ask
// about is declined, not left open.
void TestClientTransfer::clientOffersClientFetchesAndASecondServeWaits()
{
    QUORVEL_REQUIRE_TEST_NETWORK();
    TestNetwork net(2);
    QVERIFY2(net.isValid(), qPrintable(net.error()));
    ClientFolder a, b, c;
    QVERIFY(a.isValid() && b.isValid() && c.isValid());
    const QString inbox = b.path() + "/inbox";
    QVERIFY(QDir().mkpath(inbox));
    QCOMPARE(b.ctl({"config", "set", "DownloadPath", inbox}), 0);
    // A symbolic link where the file would land: never followed, never overwritten.
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(elsewhere.path() + "/victim", inbox + "/deck.pdf"));
    TestFiles::Output served(net.start(1, b.path() + "/quorvelctl", {"serve", "--accept"}));
    QVERIFY2(served.waitFor("serving"), served.both().constData());

    const QString file = TestFiles::patterned(a.path() + "/deck.pdf", 3 * 1024 * 1024 + 5);
    QProcess* offer
        = net.start(0, a.path() + "/quorvelctl", {"--json", "offer", net.address(1).toString(), file, "--wait", "60"});
    QVERIFY(offer->waitForFinished(90000));
    const QByteArray offerOut = offer->readAllStandardOutput();
    QVERIFY2(offer->exitCode() == 0, (offerOut + offer->readAllStandardError()).constData());
    QVERIFY(offerOut.contains("\"command\":\"offer\"") && offerOut.contains("\"ok\":true"));
    QVERIFY2(served.waitFor("received " + file.toUtf8()), served.both().constData());
    QCOMPARE(TestFiles::md5Of(inbox + "/deck (1).pdf"), TestFiles::md5Of(file));
    QVERIFY(!QFileInfo::exists(elsewhere.path() + "/victim"));
    QVERIFY(QFileInfo(inbox + "/deck.pdf").isSymLink());

    TestFiles::Output waiting(net.start(1, c.path() + "/quorvelctl", {"serve", "--ask"}));
    waiting.process->closeWriteChannel();
    QVERIFY2(waiting.waitFor("is not free", true) && waiting.err.contains("trying again"), waiting.err.constData());
    QVERIFY(!waiting.out.contains("serving"));
    served.process->terminate();
    QVERIFY(served.process->waitForFinished(10000));
    QCOMPARE(served.process->exitCode(), 130);
    QVERIFY2(waiting.waitFor("serving"), waiting.both().constData());

    DeviceProcess device({"--no-mdns"}, net.prefix(0));
    QVERIFY(device.isReady());
    device.command("offer " + net.address(1).toString().toUtf8() + " /Pictures/lake.jpg");
    QVERIFY2(waiting.waitFor("declined /Pictures/lake.jpg"), waiting.both().constData());
    QVERIFY2(waiting.err.contains("standard input has ended"), waiting.err.constData());
    QVERIFY(!QFileInfo::exists(c.path() + "/Download/lake.jpg"));
}

void TestClientTransfer::deviceFetchesWithResumption()
{
    QUORVEL_REQUIRE_TEST_NETWORK();
    TestNetwork net(2);
    QVERIFY2(net.isValid(), qPrintable(net.error()));
    const int size = 2 * 1024 * 1024;
    DeviceProcess device({"--no-mdns", "--cut-after", QString::number(size * 3 / 10)}, net.prefix(1));
    QVERIFY(device.isReady());
    ClientFolder a;
    const QString one = TestFiles::patterned(a.path() + "/one.bin", size);
    const QString two = TestFiles::patterned(a.path() + "/two.bin", size / 2);
    QProcess* offer
        = net.start(0, a.path() + "/quorvelctl", {"offer", net.address(1).toString(), one, two, "--wait", "60"});
    QVERIFY(offer->waitForFinished(90000));
    QVERIFY2(offer->exitCode() == 0, offer->readAllStandardError().constData());

    QVERIFY(!device.waitForLog("event", "fetch-finished").isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(device.logWhere("event", "fetch-finished").size(), 2, 10000);
    for (const QJsonObject& f : device.logWhere("event", "fetch-finished"))
        QVERIFY2(f.value("ok").toBool(), qPrintable(f.value("detail").toString()));
    QCOMPARE(TestFiles::md5Of(device.folder() + QString::fromUtf8("/Quorvel/接收/one.bin")), TestFiles::md5Of(one));
    QCOMPARE(TestFiles::md5Of(device.folder() + QString::fromUtf8("/Quorvel/接收/two.bin")), TestFiles::md5Of(two));
    QCOMPARE(device.logWhere("event", "fetch-resume-offset-sent").size(), 2);

    // The two fetches got the first two sessions and ports.
    QSet<uint> sessions;
    QSet<uint> ports;
    for (const QJsonObject& line : device.logWhere("dir", "in")) {
        const QVariantMap m = QtJson::parseObject(line.value("payload").toString().toUtf8());
        if (m.contains("tcp_port")) {
            sessions.insert(m.value("session_id").toUInt());
            ports.insert(m.value("tcp_port").toUInt());
        }
    }
    QCOMPARE(sessions, (QSet<uint>{1717986918u, 1717986919u}));
    QCOMPARE(ports, (QSet<uint>{20000u, 20001u}));
}

QTEST_GUILESS_MAIN(TestClientTransfer)
#include "tst_clienttransfer.moc"
