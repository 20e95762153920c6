#include <QDateTime>
#include <QNetworkDatagram>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <QtTest>
#include <thread>

#include "Watchdog.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"

// The device table: what it reports as query outcomes come in, and the threads it does
// that on. Outcomes are fed as the query tasks report them; tst_discoverynetwork runs
// the same against real devices.
class TestDiscoveryServer : public QObject {
    Q_OBJECT
private slots:
    // Settings and the hand-added devices' database.
    void initTestCase() { m_context = std::make_unique<AppContext>(m_dir.path()); }
    void init() { Timing::setForTests(Timing()); } // 15 s: no update runs unless a test shortens it
    void outcomes_data();
    void outcomes();
    void passesShareOneBrowser();
    void updatesWhileTheMainThreadIsBusy();
    void destroyedWhileAQueryRuns();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
};

namespace {
// What a server reports, in order, from whichever thread reports it. Like a receiver
// may, it reads the table from yet another thread while it handles each signal.
struct Reports {
    QMutex lock;
    QStringList lines;
    explicit Reports(DiscoveryServer* s)
    {
        const auto add = [this, s](const QString& line) {
            std::thread([s] { s->devices(); }).join();
            QMutexLocker guard(&lock);
            lines << line;
        };
        const auto on = Qt::DirectConnection;
        QObject::connect(
            s, &DiscoveryServer::serverDiscoveried, s, [=](const ServerContent& c) { add("+" + c.name); }, on);
        QObject::connect(
            s, &DiscoveryServer::serverDisappeared, s, [=](const ServerContent& c) { add("-" + c.name); }, on);
        QObject::connect(
            s, &DiscoveryServer::serverDiscoeryEnd, s, [=](int n) { add("end " + QString::number(n)); }, on);
    }
    QStringList take()
    {
        QMutexLocker guard(&lock);
        return std::exchange(lines, {});
    }
};

ServerContent device(const QString& name, qint64 ageMs, const QString& version = "1", quint16 port = 16020)
{
    ServerContent d;
    d.address = QHostAddress("127.0.0.2");
    d.port = port;
    d.name = name;
    d.uuid = "uuid-1";
    d.version = version;
    d.valid = true;
    d.lastSeen = QDateTime::currentMSecsSinceEpoch() - ageMs;
    return d;
}

// A device that is only a socket: it takes queries and never answers.
ServerContent quiet(const QUdpSocket& socket, qint64 ageMs)
{
    ServerContent d = device("Quiet", ageMs, "1", socket.localPort());
    d.address = socket.localAddress();
    return d;
}
} // namespace

void TestDiscoveryServer::outcomes_data()
{
    QTest::addColumn<int>("storedAge"); // -1: nothing stored
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("name"); // and version: "A 1"
    QTest::addColumn<QStringList>("reported");
    QTest::addColumn<int>("left");
    const auto row
        = [](const char* what, int age, const char* outcome, const char* name, QStringList reported, int left) {
              QTest::newRow(what) << age << QString(outcome) << QString(name) << reported << left;
          };
    row("new device", -1, "found", "A 1", {"+A"}, 1);
    row("same answer", 0, "found", "A 1", {}, 1);
    row("name changes", 0, "found", "B 1", {"-A", "+B"}, 1);
    row("only the version changes", 0, "found", "A 2", {}, 1);
    row("silent, seen lately", 14000, "silent", "A 1", {}, 1);
    row("silent, seen long ago", 16000, "silent", "A 1", {"-A"}, 0);
    row("silent, never seen", -1, "silent", "A 1", {}, 0);
    row("pass ends, seen lately", 14000, "end", "A 1", {"end 1"}, 1);
    row("pass ends, seen long ago", 16000, "end", "A 1", {"-A", "end 0"}, 0);
}

void TestDiscoveryServer::outcomes()
{
    QFETCH(int, storedAge);
    QFETCH(QString, outcome);
    QFETCH(QString, name);
    const QString version = name.section(' ', 1);
    QFETCH(QStringList, reported);
    QFETCH(int, left);
    DiscoveryServer server(*m_context->config(), *m_context->database());
    Reports reports(&server);
    {
        Watchdog dog(5000, "a receiver that reads the table from another thread");
        if (storedAge >= 0)
            server.onQueryServerResult(device("A", storedAge), true, false);
        server.onQueryServerResult(device(name.section(' ', 0, 0), 0, version), outcome == "found", outcome == "end");
    }
    if (storedAge >= 0)
        reported.prepend("+A");
    QCOMPARE(reports.take(), reported);
    QCOMPARE(server.devices().size(), left);
    if (outcome == "found")
        QCOMPARE(server.devices().first().version, version); // the table holds the latest answer
}

// Starting twice makes one browser and one registration, and runs two passes.
void TestDiscoveryServer::passesShareOneBrowser()
{
    Timing t;
    t.infoReplyWaitMs = 300;
    Timing::setForTests(t);
    DiscoveryServer server(*m_context->config(), *m_context->database());
    Reports reports(&server);
    QVERIFY(server.startDiscovery());
    QxtServiceBrowser* browser = server.browser();
    QVERIFY(browser && server.registeredService());
    QVERIFY(server.startDiscovery());
    QCOMPARE(server.browser(), browser);
    QStringList ends;
    QTRY_COMPARE_WITH_TIMEOUT(ends += reports.take(), (QStringList{"end 0", "end 0"}), 5000);
}

// The window's thread may be busy (or waiting on a dialog): re-queries go on.
void TestDiscoveryServer::updatesWhileTheMainThreadIsBusy()
{
    Timing t;
    t.infoReplyWaitMs = 300;
    t.discoveryUpdatePeriodMs = 100;
    Timing::setForTests(t);
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress("127.0.0.6"), 0));
    DiscoveryServer server(*m_context->config(), *m_context->database());
    server.onQueryServerResult(quiet(socket, 13000), true, false);
    QThread::msleep(1000); // this thread busy: nothing queued to it runs meanwhile
    int queries = 0;
    while (socket.hasPendingDatagrams() && socket.receiveDatagram().isValid())
        ++queries;
    QVERIFY2(queries >= 2, qPrintable(QString::number(queries)));
}

// Destruction waits for the updater and the queries it started, and nothing asks on
// its behalf afterwards.
void TestDiscoveryServer::destroyedWhileAQueryRuns()
{
    Timing t;
    t.infoReplyWaitMs = 300;
    t.discoveryUpdatePeriodMs = 200;
    Timing::setForTests(t);
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress("127.0.0.8"), 0));
    auto* server = new DiscoveryServer(*m_context->config(), *m_context->database());
    Reports reports(server);
    // Old enough to be asked at once, and dropped when that query fails.
    server->onQueryServerResult(quiet(socket, 20000), true, false);
    QTRY_VERIFY_WITH_TIMEOUT(socket.hasPendingDatagrams(), 3000); // asked, not answered
    {
        Watchdog dog(5000, "destroying the discovery manager during a query");
        delete server;
    }
    QCOMPARE(reports.take(), (QStringList{"+Quiet", "-Quiet"})); // the query ended first
    while (socket.hasPendingDatagrams())
        socket.receiveDatagram();
    QVERIFY(!socket.waitForReadyRead(3 * t.discoveryUpdatePeriodMs));
}

QTEST_GUILESS_MAIN(TestDiscoveryServer)
#include "tst_discoveryserver.moc"
