#include <QDateTime>
#include <QTemporaryDir>
#include <QtTest>

#include "AppContext.h"
#include "DeviceProcess.h"
#include "QuorvelClientDatabase.h"
#include "Timing.h"
#include "quorvel/discovery/DiscoveryServer.h"

// The device table: what it reports as devices come, change and go. Runs with short
// timings; the shipped ones are the same rules at 15 s.
class TestDiscoveryServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void answeringDeviceIsReportedOnce();
    void nameChangeIsDisappearThenDiscover();
    void versionChangeIsSilent();
    void silentDeviceDroppedOnlyWhenOld();
    void broadcastPassEndsWithCount();

private:
    struct Event {
        QString kind;
        ServerContent server;
        qint64 at;
    };
    QList<Event> eventsFor(const QString& address) const;
    int passesEnded() const { return m_ends.size(); }
    bool runPass();
    void addManual(const QString& address);

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    DiscoveryServer* m_server = nullptr;
    QList<Event> m_events;
    QList<int> m_ends;
};

void TestDiscoveryServer::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
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
    const int before = passesEnded();
    m_server->startDiscovery();
    QDeadlineTimer deadline(5000);
    while (passesEnded() == before && !deadline.hasExpired())
        QTest::qWait(10);
    return passesEnded() > before;
}

void TestDiscoveryServer::addManual(const QString& address)
{
    ServerContent manual;
    manual.address = QHostAddress(address);
    manual.port = 16020;
    QVERIFY(QuorvelClientDatabase::instance()->addManualDevice(manual));
}

void TestDiscoveryServer::answeringDeviceIsReportedOnce()
{
    DeviceProcess device({"--address", "127.0.0.2", "--no-mdns", "--name", "Room A"});
    QVERIFY(device.isReady());
    addManual("127.0.0.2");
    QVERIFY(runPass());
    QxtServiceBrowser* browser = m_server->browser();
    QxtDiscoverableService* registration = m_server->registeredService();
    QVERIFY(browser && registration);
    QTRY_COMPARE(eventsFor("127.0.0.2").size(), 1);
    QCOMPARE(eventsFor("127.0.0.2").first().kind, QString("discoveried"));
    QCOMPARE(eventsFor("127.0.0.2").first().server.name, QString("Room A"));

    // More passes and the updater's re-queries change nothing.
    for (int i = 0; i < 3; ++i)
        QVERIFY(runPass());
    QCOMPARE(m_server->browser(), browser); // started once: one browser, one registration
    QCOMPARE(m_server->registeredService(), registration);
    QCOMPARE(eventsFor("127.0.0.2").size(), 1);
    QVERIFY(!m_ends.isEmpty());
    QVERIFY(m_ends.last() >= 1);
}

void TestDiscoveryServer::nameChangeIsDisappearThenDiscover()
{
    {
        DeviceProcess renamed({"--address", "127.0.0.2", "--no-mdns", "--name", "Room B"});
        QVERIFY(renamed.isReady());
        QVERIFY(runPass());
        QTRY_COMPARE(eventsFor("127.0.0.2").size(), 3);
    }
    const QList<Event> events = eventsFor("127.0.0.2");
    QCOMPARE(events.at(1).kind, QString("disappeared"));
    QCOMPARE(events.at(1).server.name, QString("Room A"));
    QCOMPARE(events.at(2).kind, QString("discoveried"));
    QCOMPARE(events.at(2).server.name, QString("Room B"));
}

void TestDiscoveryServer::versionChangeIsSilent()
{
    DeviceProcess device({"--address", "127.0.0.2", "--no-mdns", "--name", "Room B", "--device-version", "9.9",
        "--support", "file_upload", "--support", "Vantrope : 8000", "--support", "extra"});
    QVERIFY(device.isReady());
    const int before = eventsFor("127.0.0.2").size();
    QVERIFY(runPass());
    QVERIFY(runPass());
    QCOMPARE(eventsFor("127.0.0.2").size(), before);
    bool updated = false;
    for (const ServerContent& s : m_server->devices())
        updated = updated || (s.address == QHostAddress("127.0.0.2") && s.version == "9.9");
    QVERIFY(updated); // the table holds the new record all the same
}

void TestDiscoveryServer::silentDeviceDroppedOnlyWhenOld()
{
    // Nothing answers on 127.0.0.2 now. The updater keeps asking; the record goes only
    // once a failed query finds it older than the drop age.
    qint64 lastSeen = 0;
    for (const ServerContent& s : m_server->devices()) {
        if (s.address == QHostAddress("127.0.0.2"))
            lastSeen = s.lastSeen;
    }
    QVERIFY(lastSeen > 0);
    const int before = eventsFor("127.0.0.2").size();
    QTRY_VERIFY_WITH_TIMEOUT(eventsFor("127.0.0.2").size() > before, 10000);
    const Event gone = eventsFor("127.0.0.2").last();
    QCOMPARE(gone.kind, QString("disappeared"));
    QVERIFY2(
        gone.at - lastSeen > Timing::current().discoveryDropAgeMs, qPrintable(QString::number(gone.at - lastSeen)));
    QCOMPARE(eventsFor("127.0.0.2").size(), before + 1);
    QVERIFY(m_server->devices().isEmpty());
}

void TestDiscoveryServer::broadcastPassEndsWithCount()
{
    QVERIFY(QuorvelClientDatabase::instance()->clearManualDevice());
    QVERIFY(runPass());
    QCOMPARE(m_ends.last(), 0);
}

QTEST_GUILESS_MAIN(TestDiscoveryServer)
#include "tst_discoveryserver.moc"
