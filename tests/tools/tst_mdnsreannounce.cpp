#include <QtTest>

#include "DeviceProcess.h"
#include "TestNetwork.h"

// An mDNS announcement outlives its daemon: when avahi-daemon restarts, the service comes
// back without the announcing process being restarted. The simulator announces through
// the client's own registration code; finding it across hosts is covered by discovery.
class TestMdnsReannounce : public QObject {
    Q_OBJECT
private slots:
    void announcementSurvivesADaemonRestart();
};

void TestMdnsReannounce::announcementSurvivesADaemonRestart()
{
    QUORVEL_REQUIRE_TEST_NETWORK();
    TestNetwork net(2, true);
    QVERIFY2(net.isValid(), qPrintable(net.error()));
    DeviceProcess device({"--name", "Room Net"}, net.prefix(0));
    QVERIFY2(device.isReady(), qPrintable(device.output()));
    QVERIFY(!device.waitForLog("event", "mdns-registered").isEmpty());

    const int registrations = device.logWhere("event", "mdns-registered").size();
    QVERIFY(net.restartMdns(0));
    QTRY_VERIFY_WITH_TIMEOUT(device.logWhere("event", "mdns-registered").size() > registrations, 20000);
    QByteArray browse;
    QCOMPARE(net.run(1, "avahi-browse", {"--resolve", "--parsable", "--terminate", "_quorvel._udp"}, &browse), 0);
    // avahi-browse escapes the space.
    QVERIFY2(
        browse.contains("Room\\032Net;_quorvel._udp;local;qvhost-0.local;198.51.100.11;16020;"), browse.constData());
}

QTEST_GUILESS_MAIN(TestMdnsReannounce)
#include "tst_mdnsreannounce.moc"
