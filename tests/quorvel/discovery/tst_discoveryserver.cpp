#include <QDateTime>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>
#include <atomic>
#include <thread>

#include "DeviceProcess.h"
#include "QuorvelClientDatabase.h"
#include "Timing.h"
#include "Watchdog.h"
#include "quorvel/discovery/DiscoveryServer.h"

// The device table: what it reports as devices come, change and go, and the threads it
// does that on. Runs with short timings; the shipped ones are the same rules at 15 s.
class TestDiscoveryServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void changes_data();
    void changes();
    void silentDeviceDroppedOnlyWhenOld();
    void updatesWhileTheMainThreadIsBusy();
    void receiverMayCallBack();
    void destroyedWhileAQueryRuns();

private:
    struct Event {
        QString kind;
        ServerContent server;
        qint64 at;
    };
    QList<Event> eventsFor(const QString& address) const;
    bool runPass();
    void addManual(const QString& address);
    static ServerContent quietDevice(const QUdpSocket& socket, qint64 lastSeen);

    QTemporaryDir m_dir;
    DiscoveryServer* m_server = nullptr;
    QList<Event> m_events;
    QList<int> m_ends;
};

void TestDiscoveryServer::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    Timing t;
    t.infoReplyWaitMs = 300;
    t.discoveryUpdatePeriodMs = 200;
    t.discoveryRequeryAgeMs = 150;
    t.discoveryDropAgeMs = 1500;
    Timing::setForTests(t);
    m_server = DiscoveryServer::instance();
    // Signals come from pool threads; collect them on this thread, in order.
    connect(
        m_server, &DiscoveryServer::serverDiscoveried, this,
        [this](const ServerContent& s) {
            m_events.append({"discoveried", s, QDateTime::currentMSecsSinceEpoch()});
        },
        Qt::QueuedConnection);
    connect(
        m_server, &DiscoveryServer::serverDisappeared, this,
        [this](const ServerContent& s) {
            m_events.append({"disappeared", s, QDateTime::currentMSecsSinceEpoch()});
        },
        Qt::QueuedConnection);
    connect(
        m_server, &DiscoveryServer::serverDiscoeryEnd, this, [this](int count) { m_ends.append(count); },
        Qt::QueuedConnection);
}

QList<TestDiscoveryServer::Event> TestDiscoveryServer::eventsFor(const QString& address) const
{
    QList<Event> out;
    for (const Event& e : m_events) {
        if (e.server.address.toString() == address)
            out.append(e);
    }
    return out;
}

bool TestDiscoveryServer::runPass()
{
    const int before = m_ends.size();
    m_server->startDiscovery();
    return QTest::qWaitFor([&] { return m_ends.size() > before; }, 5000);
}

void TestDiscoveryServer::addManual(const QString& address)
{
    ServerContent manual;
    manual.address = QHostAddress(address);
    manual.port = 16020;
    QVERIFY(QuorvelClientDatabase::instance()->addManualDevice(manual));
}

// A record for a "device" that is only a socket: it takes queries and never answers.
ServerContent TestDiscoveryServer::quietDevice(const QUdpSocket& socket, qint64 lastSeen)
{
    ServerContent device;
    device.address = socket.localAddress();
    device.port = socket.localPort();
    device.name = "Quiet";
    device.uuid = "quiet-" + QString::number(socket.localPort());
    device.valid = true;
    device.lastSeen = lastSeen;
    return device;
}

void TestDiscoveryServer::changes_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("secondAnswer"); // the device's options
    QTest::addColumn<QStringList>("reported"); // after the first discovery
    QTest::addColumn<QString>("versionHeld");
    QTest::newRow("same answer") << "127.0.0.2" << QStringList{"--name", "Room A"} << QStringList() << "";
    QTest::newRow("name changes") << "127.0.0.3" << QStringList{"--name", "Room B"}
                                  << QStringList{"disappeared Room A", "discoveried Room B"} << "";
    QTest::newRow("version and plain features change")
        << "127.0.0.4"
        << QStringList{"--name", "Room A", "--device-version", "9.9", "--support", "file_upload", "--support",
               "Vantrope : 8000", "--support", "extra"}
        << QStringList() << "9.9";
}

// One report when a device appears, then only the changes the record's equality sees,
// however many passes and re-queries run.
void TestDiscoveryServer::changes()
{
    QFETCH(QString, address);
    QFETCH(QStringList, secondAnswer);
    QFETCH(QStringList, reported);
    QFETCH(QString, versionHeld);
    addManual(address);
    {
        DeviceProcess device({"--address", address, "--no-mdns", "--name", "Room A"});
        QVERIFY(device.isReady());
        QVERIFY(runPass());
        QTRY_COMPARE(eventsFor(address).size(), 1);
        QCOMPARE(eventsFor(address).first().kind, QString("discoveried"));
    }
    QxtServiceBrowser* browser = m_server->browser();
    QVERIFY(browser && m_server->registeredService());
    DeviceProcess device(QStringList{"--address", address, "--no-mdns"} + secondAnswer);
    QVERIFY(device.isReady());
    for (int i = 0; i < 3; ++i)
        QVERIFY(runPass());
    QCOMPARE(m_server->browser(), browser); // started once: one browser, one registration
    QStringList got;
    for (const Event& e : eventsFor(address).mid(1))
        got << e.kind + " " + e.server.name;
    QCOMPARE(got, reported);
    if (!versionHeld.isEmpty()) {
        bool held = false;
        for (const ServerContent& s : m_server->devices())
            held = held || (s.address == QHostAddress(address) && s.version == versionHeld);
        QVERIFY(held); // the table holds the new record all the same
    }
}

void TestDiscoveryServer::silentDeviceDroppedOnlyWhenOld()
{
    const QString address = "127.0.0.5";
    addManual(address);
    {
        DeviceProcess device({"--address", address, "--no-mdns"});
        QVERIFY(device.isReady());
        QVERIFY(runPass());
        QTRY_COMPARE(eventsFor(address).size(), 1);
    }
    // Nothing answers now. The updater keeps asking; the record goes only once a failed
    // query finds it older than the drop age.
    qint64 lastSeen = 0;
    for (const ServerContent& s : m_server->devices()) {
        if (s.address == QHostAddress(address))
            lastSeen = s.lastSeen;
    }
    QVERIFY(lastSeen > 0);
    QTRY_COMPARE_WITH_TIMEOUT(eventsFor(address).size(), 2, 10000);
    const Event gone = eventsFor(address).last();
    QCOMPARE(gone.kind, QString("disappeared"));
    QVERIFY2(
        gone.at - lastSeen > Timing::current().discoveryDropAgeMs, qPrintable(QString::number(gone.at - lastSeen)));

    // With nothing left to find, a broadcast pass ends with an empty table.
    QVERIFY(QuorvelClientDatabase::instance()->clearManualDevice());
    QTRY_VERIFY_WITH_TIMEOUT(m_server->devices().isEmpty(), 5000);
    QVERIFY(runPass());
    QCOMPARE(m_ends.last(), 0);
}

// The window's thread may be busy (or waiting on a dialog): re-queries go on.
void TestDiscoveryServer::updatesWhileTheMainThreadIsBusy()
{
    QUdpSocket device;
    QVERIFY(device.bind(QHostAddress("127.0.0.6"), 0));
    m_server->onQueryServerResult(quietDevice(device, QDateTime::currentMSecsSinceEpoch()), true, false);
    QThread::msleep(1000); // this thread busy: nothing queued to it runs meanwhile
    int queries = 0;
    while (device.hasPendingDatagrams() && device.receiveDatagram().isValid())
        ++queries;
    QVERIFY2(queries >= 2, qPrintable(QString::number(queries)));
}

// A receiver may call back into the table from any thread while it handles a signal.
void TestDiscoveryServer::receiverMayCallBack()
{
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress("127.0.0.7"), 0));
    std::atomic<int> seen{-1};
    const QMetaObject::Connection connection = connect(
        m_server, &DiscoveryServer::serverDiscoveried, this,
        [&] {
            std::thread other([&] { seen = m_server->devices().size(); });
            other.join();
        },
        Qt::DirectConnection);
    {
        Watchdog dog(5000, "a receiver that reads the table from another thread");
        m_server->onQueryServerResult(quietDevice(socket, QDateTime::currentMSecsSinceEpoch()), true, false);
    }
    disconnect(connection);
    QVERIFY(seen >= 1);
}

// Destruction waits for the updater and the queries it started, and nothing asks on
// its behalf afterwards.
void TestDiscoveryServer::destroyedWhileAQueryRuns()
{
    QUdpSocket device;
    QVERIFY(device.bind(QHostAddress("127.0.0.8"), 0));
    auto* server = new DiscoveryServer;
    std::atomic<int> dropped{0};
    connect(
        server, &DiscoveryServer::serverDisappeared, this, [&] { ++dropped; }, Qt::DirectConnection);
    // Old enough to be re-asked at once, and dropped when that query fails.
    const qint64 old = QDateTime::currentMSecsSinceEpoch() - 2 * Timing::current().discoveryDropAgeMs;
    server->onQueryServerResult(quietDevice(device, old), true, false);
    QTRY_VERIFY_WITH_TIMEOUT(device.hasPendingDatagrams(), 3000); // the query is out, unanswered
    {
        Watchdog dog(5000, "destroying the discovery manager during a query");
        delete server;
    }
    QCOMPARE(int(dropped), 1); // the query ended before the destructor returned
    while (device.hasPendingDatagrams())
        device.receiveDatagram();
    QVERIFY(!device.waitForReadyRead(3 * Timing::current().discoveryUpdatePeriodMs));
}

QTEST_GUILESS_MAIN(TestDiscoveryServer)
#include "tst_discoveryserver.moc"
