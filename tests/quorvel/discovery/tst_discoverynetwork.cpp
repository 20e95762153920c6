#include <QtTest>

#include "DeviceProcess.h"
#include "HelperMode.h"
#include "TestFiles.h"
#include "TestNetwork.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryDoctor.h"
#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"
#include "utils/AppLanguage.h"

// Discovery across hosts: broadcast passes, other clients' responders, mDNS browsing,
// resolution, withdrawal, and the client's own registration.
class TestDiscoveryNetwork : public QObject {
    Q_OBJECT
private slots:
    void broadcastFindsDevicesAndOtherClientsButNotItself_data();
    void broadcastFindsDevicesAndOtherClientsButNotItself();
    void handAddedReachBeyondARouter_data();
    void handAddedReachBeyondARouter();
    void mdnsFindsResolvesAndNoticesWithdrawal_data();
    void mdnsFindsResolvesAndNoticesWithdrawal();
};

void TestDiscoveryNetwork::broadcastFindsDevicesAndOtherClientsButNotItself_data()
{
    QTest::addColumn<QString>("interfaces"); // QUORVEL_BROADCAST_INTERFACES
    QTest::addColumn<QStringList>("found");
    // The hosts' links are veth pairs: named, they carry broadcasts as LANs do.
    QTest::newRow("the interfaces named") << "eth0,eth1"
                                          << QStringList{"198.51.100.11 server Dev A", "198.51.101.12 server Dev B",
                                                 "198.51.100.14 client other-client", "server Dev C"};
    // By default a virtual interface is skipped; the default route's is used whatever it is.
    QTest::newRow("virtual interfaces skipped")
        << "" << QStringList{"198.51.100.11 server Dev A", "198.51.100.14 client other-client", "server Dev C"};
}

void TestDiscoveryNetwork::broadcastFindsDevicesAndOtherClientsButNotItself()
{
    QFETCH(QString, interfaces);
    QFETCH(QStringList, found);
    // Dev B is on a second LAN that only the client's host also joins: 255.255.255.255
    // leaves by the default route, so only a directed broadcast reaches it. Dev C is on
    // both LANs and answers on both: one device, listed once.
    QUORVEL_TEST_NETWORK(net, 5, false, {1, 2, 3, 1, 3});
    QUORVEL_DEVICE(first, {"--no-mdns", "--name", "Dev A"}, net.prefix(0));
    QUORVEL_DEVICE(second, {"--no-mdns", "--name", "Dev B"}, net.prefix(1));
    QUORVEL_DEVICE(third, {"--no-mdns", "--name", "Dev C"}, net.prefix(4));
    QProcess* otherClient = net.start(3, QCoreApplication::applicationFilePath(), {"--respond", "30"});
    QByteArray otherOut;
    QVERIFY(TestFiles::waitForOutput(otherClient, "READY", otherOut).contains("READY"));

    QByteArray out;
    QCOMPARE(
        net.run(2, "env",
            {"QUORVEL_BROADCAST_INTERFACES=" + interfaces, QCoreApplication::applicationFilePath(), "--discover", "4"},
            &out, 30000),
        0);
    const QString text = QString::fromUtf8(out);
    for (const QString& device : found)
        QVERIFY2(text.contains(device), qPrintable(text));
    QVERIFY2(!text.contains("DISCOVERED 198.51.100.13"), qPrintable(text)); // its own broadcast
    QCOMPARE(text.count("DISCOVERED "), found.size());
    QVERIFY2(text.contains(QStringLiteral("END %1").arg(found.size())), qPrintable(text));
    QCOMPARE(third.requests("client").size(), interfaces.isEmpty() ? 1 : 2); // asked on each LAN used
    // One query each: the default route's LAN is not also asked at its own broadcast address.
    QCOMPARE(first.requests("client").size(), 1);
    // The doctor says what was skipped, and why.
    QCOMPARE(
        net.run(2, "env",
            {"QUORVEL_BROADCAST_INTERFACES=" + interfaces, QCoreApplication::applicationFilePath(), "--doctor", "10"},
            &out, 30000),
        0);
    QVERIFY2(out.contains("FINDING interfaces 1 broadcasts leave through eth0 (broadcast 255.255.255.255, the default "
                          "route")
            && out.contains(interfaces.isEmpty() ? ")\n" : ", eth1 (broadcast 198.51.101.255)\n"),
        out.constData());
    QCOMPARE(out.contains("FINDING interface eth1 1 skipped: a virtual interface (veth)"), interfaces.isEmpty());
}

// A display network behind a router: broadcasts stop there, and neither the range nor
// the host name (through the client's own /etc/hosts) does. Nothing hand-added: not found.
void TestDiscoveryNetwork::handAddedReachBeyondARouter_data()
{
    QTest::addColumn<QString>("manual");
    QTest::newRow("a range") << "198.51.101.0/24";
    QTest::newRow("a host name") << "room-b.test";
    QTest::newRow("nothing hand-added") << "";
}

void TestDiscoveryNetwork::handAddedReachBeyondARouter()
{
    QFETCH(QString, manual);
    QUORVEL_TEST_NETWORK(net, 3, false, {1, 3, 2}); // client, router, device
    QVERIFY(net.forward(1));
    QVERIFY(net.addRoute(0, "198.51.101.0/24", TestNetwork::address(1, 0)));
    QVERIFY(net.addRoute(2, "198.51.100.0/24", TestNetwork::address(1, 1)));
    QVERIFY(net.setHostsFile(0, "127.0.0.1 localhost\n198.51.101.13 room-b.test\n"));
    QUORVEL_DEVICE(device, {"--no-mdns", "--name", "Room B"}, net.prefix(2));

    QStringList args{"--discover", "5"};
    if (!manual.isEmpty())
        args << "--manual" << manual;
    QByteArray out;
    QCOMPARE(net.run(0, QCoreApplication::applicationFilePath(), args, &out, 30000), 0);
    const QString text = QString::fromUtf8(out);
    QCOMPARE(text.count("DISCOVERED 198.51.101.13 server Room B"), manual.isEmpty() ? 0 : 1);
    QVERIFY2(text.contains(manual.isEmpty() ? "END 0" : "END 1"), qPrintable(text));
    // Every address of the range asked once: the device once.
    QCOMPARE(device.requests("client").size(), manual.isEmpty() ? 0 : 1);
}

void TestDiscoveryNetwork::mdnsFindsResolvesAndNoticesWithdrawal_data()
{
    QTest::addColumn<bool>("stockPublisher");
    QTest::newRow("announced by the device") << false;
    QTest::newRow("announced by avahi-publish") << true;
}

// The hosts have IPv6 link-local addresses too; the device answers on its IPv4 address
// only (no broadcast), so mDNS resolution to that address is the only way to it. The
// device announces through the client's own registration code, and its announcement
// outlives avahi-daemon: it is back after a restart without the device being restarted.
void TestDiscoveryNetwork::mdnsFindsResolvesAndNoticesWithdrawal()
{
    QFETCH(bool, stockPublisher);
    QUORVEL_TEST_NETWORK(net, 2, true);
    QStringList args{"--name", "Room M", "--address", "198.51.100.11"};
    auto* device = new DeviceProcess(stockPublisher ? args << "--no-mdns" : args, net.prefix(0));
    QVERIFY(device->isReady());
    QProcess* publisher
        = stockPublisher ? net.start(0, "avahi-publish", {"-s", "Room M", "_quorvel._udp", "16020"}) : nullptr;
    QVERIFY(publisher || !device->waitForLog("event", "mdns-registered").isEmpty());
    if (!publisher) {
        QVERIFY(net.restartMdns(0));
        QTRY_VERIFY_WITH_TIMEOUT(device->logWhere("event", "mdns-registered").size() > 1, 20000);
    }

    QProcess* client = net.start(1, QCoreApplication::applicationFilePath(), {"--discover", "60"});
    QByteArray out;
    const auto says
        = [&](const QByteArray& line) { return TestFiles::waitForOutput(client, line, out).contains(line); };
    QVERIFY2(says("mDns service \"Room M\" added: 198.51.100.11:16020"), out.constData());
    QVERIFY2(says("DISCOVERED 198.51.100.11 server Room M"), out.constData());
    QVERIFY2(says("Service register success."), out.constData());

    // The client's own registration is visible from the other host.
    QByteArray browse;
    QCOMPARE(net.run(0, "avahi-browse", {"--resolve", "--parsable", "--terminate", "_quorvel._udp"}, &browse), 0);
    QVERIFY2(
        browse.contains("=;eth0;IPv4;QuorvelClient;_quorvel._udp;local;") && browse.contains(";198.51.100.12;16020;"),
        browse.constData());

    // Withdrawn: the address is asked again (and the silent device then ages out).
    delete device;
    if (publisher)
        publisher->terminate();
    QVERIFY2(says("mDns service \"Room M\" removed, 198.51.100.11:16020"), out.constData());
}

// ----------------------------------------------------------------- helper modes

namespace {
using HelperMode::say;

void printMessages(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    say(QStringLiteral("LOG ") + msg);
}

// A client in a host: its responder, and with discover also a discovery pass,
// printing what it finds; it ends after the given seconds.
int helperMain(const QString& mode, int seconds, const QStringList& manual)
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    AppContext context(dir.path());
    qInstallMessageHandler(printMessages);
    context.config()->setValue(Config::ClientName, QStringLiteral("other-client"));
    Timing t;
    t.infoReplyWaitMs = 1000;
    Timing::setForTests(t);
    context.discoveryListener()->start();
    for (const QString& entry : manual)
        context.database()->addManualTarget(ManualTarget::parse(entry, DiscoveryServer::QueryPort));
    if (mode == QLatin1String("--discover")) {
        DiscoveryServer* server = context.discovery();
        QObject::connect(server, &DiscoveryServer::serverDiscoveried, qApp, [](const ServerContent& s) {
            say(QStringLiteral("DISCOVERED %1 %2 %3").arg(s.address.toString(), s.type, s.name));
        });
        QObject::connect(server, &DiscoveryServer::serverDisappeared, qApp,
            [](const ServerContent& s) { say(QStringLiteral("DISAPPEARED %1 %2").arg(s.address.toString(), s.name)); });
        QObject::connect(server, &DiscoveryServer::serverDiscoeryEnd, qApp,
            [](int count) { say(QStringLiteral("END %1").arg(count)); });
        QTimer::singleShot(300, server, [server] { server->startDiscovery(); });
    }
    if (mode == QLatin1String("--doctor")) {
        // Its findings, one a line; no discovery pass.
        auto* doctor = new DiscoveryDoctor(context.discovery(), 500, qApp);
        QObject::connect(doctor, &DiscoveryDoctor::found, qApp, [](const DiscoveryDoctor::Finding& f) {
            say(QStringLiteral("FINDING %1 %2 %3").arg(f.check).arg(int(f.ok)).arg(f.detail));
        });
        QObject::connect(doctor, &DiscoveryDoctor::finished, qApp, &QCoreApplication::quit);
        QTimer::singleShot(0, doctor, &DiscoveryDoctor::start);
    }
    say(QStringLiteral("READY"));
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    const int rc = QCoreApplication::exec();
    context.discoveryListener()->quit();
    context.discoveryListener()->wait();
    return rc;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc >= 3
        && (qstrcmp(argv[1], "--discover") == 0 || qstrcmp(argv[1], "--respond") == 0
            || qstrcmp(argv[1], "--doctor") == 0)) {
        QStringList manual; // --manual ENTRY, repeated
        for (int i = 3; i + 1 < argc; i += 2) {
            if (qstrcmp(argv[i], "--manual") == 0)
                manual.append(QString::fromLocal8Bit(argv[i + 1]));
        }
        AppLanguage::install(&app, QLocale(QLocale::English)); // the findings as quorvelctl prints them
        return helperMain(QString::fromLatin1(argv[1]), atoi(argv[2]), manual);
    }
    TestDiscoveryNetwork test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_discoverynetwork.moc"
