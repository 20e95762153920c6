#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>

#include "DeviceProcess.h"
#include "TestNetwork.h"
#include "json/QtJson.h"

// Several hosts in namespaces: the simulator on one answers a broadcast from another
// and is seen there on mDNS.
class TestTestNetwork : public QObject {
    Q_OBJECT
private slots:
    void simulatorAnswersBroadcastAndAppearsOnMdns();
};

// Probe mode, run inside a host: broadcast the information query and print every
// answer for two seconds, one "ADDRESS PORT PAYLOAD" line each.
static int broadcastProbe()
{
    QUdpSocket socket;
    socket.bind(QHostAddress::AnyIPv4, 0);
    const QByteArray query = QtJson::serialize(QVariantMap{{"name", "probe"}, {"type", "client"}});
    socket.writeDatagram(query, QHostAddress::Broadcast, 16020);
    QTextStream out(stdout);
    while (socket.waitForReadyRead(2000)) {
        while (socket.hasPendingDatagrams()) {
            const QNetworkDatagram d = socket.receiveDatagram();
            out << d.senderAddress().toString() << ' ' << d.senderPort() << ' ' << QString::fromUtf8(d.data())
                << Qt::endl;
        }
    }
    return 0;
}

void TestTestNetwork::simulatorAnswersBroadcastAndAppearsOnMdns()
{
    QUORVEL_REQUIRE_TEST_NETWORK();
    TestNetwork net(2, true);
    QVERIFY2(net.isValid(), qPrintable(net.error()));

    DeviceProcess device({"--name", "Room Net"}, net.prefix(0));
    QVERIFY2(device.isReady(), qPrintable(device.output()));
    QVERIFY(!device.waitForLog("event", "mdns-registered").isEmpty());

    QByteArray answers;
    QCOMPARE(net.run(1, QCoreApplication::applicationFilePath(), {"--broadcast-probe"}, &answers), 0);
    const QList<QByteArray> lines = answers.trimmed().split('\n');
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(net.address(0).toString().toLatin1() + " 16020 {"), lines.first().constData());
    QVERIFY(lines.first().contains("\"name\" : \"Room Net\""));

    QByteArray browse;
    QCOMPARE(net.run(1, "avahi-browse", {"--resolve", "--parsable", "--terminate", "_quorvel._udp"}, &browse), 0);
    bool found = false;
    for (const QByteArray& line : browse.split('\n')) {
        const QList<QByteArray> f = line.split(';');
        if (f.size() >= 9 && f[0] == "="
            && f[3] == "Room\\032Net" /* avahi-browse escapes the space */ && f[4] == "_quorvel._udp") {
            QCOMPARE(f[7], net.address(0).toString().toLatin1());
            QCOMPARE(f[8], QByteArray("16020"));
            found = true;
        }
    }
    QVERIFY2(found, browse.constData());

    // avahi-daemon restarts: the device announces itself again without being restarted.
    const int registrations = device.logWhere("event", "mdns-registered").size();
    QVERIFY(net.restartMdns(0));
    QDeadlineTimer deadline(20000);
    while (device.logWhere("event", "mdns-registered").size() <= registrations && !deadline.hasExpired())
        QTest::qWait(50);
    QVERIFY(device.logWhere("event", "mdns-registered").size() > registrations);
    QCOMPARE(net.run(1, "avahi-browse", {"--resolve", "--parsable", "--terminate", "_quorvel._udp"}, &browse), 0);
    QVERIFY2(
        browse.contains("Room\\032Net;_quorvel._udp;local;qvhost-0.local;198.51.100.11;16020;"), browse.constData());
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--broadcast-probe") == 0)
        return broadcastProbe();
    TestTestNetwork test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_testnetwork.moc"
