#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>
#include <thread>

#include "DeviceProcess.h"
#include "RecordingReceiver.h"
#include "ScopedTiming.h"
#include "UdpProbe.h"
#include "Watchdog.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"

using Getter = DiscoveryServer::ServerInfoGetter;

// One information query of one address, against the simulator and hand-made peers; the
// device table: what it reports as query outcomes come in, and the threads it does that
// on. Outcomes are fed as the query tasks report them; tst_discoverynetwork runs the same
// against real devices.
class TestDiscoveryServer : public QObject {
    Q_OBJECT
private slots:
    // Settings and the hand-added devices' database.
    void initTestCase()
    {
        m_context = std::make_unique<AppContext>(m_dir.path());
        m_context->config()->setValue(Config::ClientName, "Tester PC");
    }
    void init() // 15 s between updates: none runs unless a test shortens it
    {
        Timing t;
        t.infoReplyWaitMs = 300;
        Timing::setForTests(t);
    }
    void cleanup() { QThreadPool::globalInstance()->waitForDone(); } // no report to a receiver gone
    void askedDeviceFillsTheRecord();
    void unansweredQuery_data();
    void unansweredQuery();
    void answerDefaults();
    void outcomes_data();
    void outcomes();
    void remembersWhoAnswered();
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

void TestDiscoveryServer::askedDeviceFillsTheRecord()
{
    QUORVEL_DEVICE(device,
        {"--address", "127.0.0.2", "--no-mdns", "--name", "Room 2", "--device-version", "3.1", "--os", "Android 9"});
    RecordingReceiver receiver;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.2"), 16020, "Tester PC"));
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1);
    QCOMPARE(reports.size(), 1);
    const RecordingReceiver::Report& r = reports.first();
    QVERIFY(r.found && !r.isBroadcast);
    const ServerContent& c = r.content;
    QCOMPARE((QStringList{c.address.toString(), QString::number(c.port), c.name, c.version, c.os, c.uuid, c.type}),
        (QStringList{"127.0.0.2", "16020", "Room 2", "3.1", "Android 9", "02:51:7F:00:00:02", "server"}));
    QVERIFY(c.valid && c.lastSeen >= before);
    QCOMPARE(c.supportList, QStringList{"file_upload"});
    QCOMPARE(c.supportPort("Vantrope").port, 8000);
    // The question, byte for byte.
    QCOMPARE(device.waitForLog("dir", "in").value("payload").toString(),
        QString("{ \"name\" : \"Tester PC\", \"os\" : \"%1\", \"type\" : \"client\", \"uuid\" : \"%2\", "
                "\"version\" : \"v1.0\" }")
            .arg(ProtocolDefinedJsonObject::osName(), ProtocolDefinedJsonObject::clientUuid()));
}

void TestDiscoveryServer::unansweredQuery_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: none
    QTest::addColumn<bool>("fromElsewhere");
    QTest::addColumn<QString>("logged"); // a pattern
    QTest::addColumn<QString>("name"); // of the record reported
    QTest::addColumn<bool>("askedAddress"); // the record keeps it (or is the empty one)
    QTest::newRow("silence") << QByteArray() << false << ""
                             << "" << true;
    QTest::newRow("another host answers")
        << QByteArray("{\"name\":\"impostor\"}") << true
        << "^\\[W\\]\\[DiscoveryServer\\] The host in mDns is 127.0.0.4:16020, but received packet from host "
           "127.0.0.5:\\d+\\.$"
        << "impostor" << true;
    QTest::newRow("not JSON") << QByteArray("{broken") << false << "^\\[E\\]\\[DiscoveryServer\\] Parse json error.$"
                              << "" << false;
}

void TestDiscoveryServer::unansweredQuery()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, fromElsewhere);
    QFETCH(QString, logged);
    QFETCH(QString, name);
    QFETCH(bool, askedAddress);
    UdpProbe asked(QHostAddress("127.0.0.4"), 16020);
    UdpProbe elsewhere(QHostAddress("127.0.0.5"));
    RecordingReceiver receiver;
    QThreadPool::globalInstance()->start(new Getter(&receiver, QHostAddress("127.0.0.4"), 16020, "Tester PC"));
    const QNetworkDatagram question = asked.receive(5000);
    QVERIFY(question.isValid());
    if (!logged.isEmpty())
        QTest::ignoreMessage(QtMsgType(logged.at(3) == 'W' ? QtWarningMsg : QtCriticalMsg), QRegularExpression(logged));
    if (!reply.isEmpty())
        (fromElsewhere ? elsewhere : asked).send(question.senderAddress(), quint16(question.senderPort()), reply);
    const QList<RecordingReceiver::Report> reports = receiver.waitFor(1, 5000);
    QCOMPARE(reports.size(), 1);
    QVERIFY(!reports.first().found);
    QCOMPARE(reports.first().content.name, name);
    QCOMPARE(reports.first().content.valid, !name.isEmpty()); // an answer, just not the asked host's
    QCOMPARE(reports.first().content.address, askedAddress ? QHostAddress("127.0.0.4") : QHostAddress());
}

// What an answer leaves out (feature parsing itself: tst_protocol).
void TestDiscoveryServer::answerDefaults()
{
    Getter getter(nullptr, QHostAddress("127.0.0.8"), 17000, "Tester PC");
    bool ok = false;
    const ServerContent c = getter.getServerContent("{\"name\":\"n\"}", 12, ok);
    QVERIFY(ok && c.valid);
    QCOMPARE(c.type, QString("server")); // no "type": a device
    QCOMPARE(c.port, 17000);
    QVERIFY(getter.getServerContent("[1,2]", 5, ok).name.isEmpty() && ok); // not an object: no fields
}

// The table as outcomes come in: the answers of device A already stored, then one
// outcome. A device answering at two addresses (two LANs; mDNS and broadcast) is one
// entry, shown where it answered first and kept while either answers; a quiet address
// gives way.
void TestDiscoveryServer::outcomes_data()
{
    QTest::addColumn<QList<int>>("stored"); // the answers' ages, at 127.0.0.2 and .3
    QTest::addColumn<QString>("outcome"); // "found NAME VERSION", "silent .2", "silent .3", "end"
    QTest::addColumn<QStringList>("reported"); // after the stored answers' "+A"
    QTest::addColumn<QString>("shown"); // "ADDRESS VERSION" of the entry listed then; empty: none
    const auto row
        = [](const char* what, const QList<int>& stored, const char* outcome, const QStringList& reported,
              const char* shown) { QTest::newRow(what) << stored << QString(outcome) << reported << QString(shown); };
    row("new device", {}, "found A 1", {"+A"}, "127.0.0.2 1");
    row("same answer", {0}, "found A 1", {}, "127.0.0.2 1");
    row("name changes", {0}, "found B 1", {"-A", "+B"}, "127.0.0.2 1");
    row("only the version changes", {0}, "found A 2", {}, "127.0.0.2 2"); // the latest answer
    row("silent, seen lately", {14000}, "silent .2", {}, "127.0.0.2 1");
    row("silent, seen long ago", {16000}, "silent .2", {"-A"}, "");
    row("silent, never seen", {}, "silent .2", {}, "");
    row("pass ends, seen lately", {14000}, "end", {"end 1"}, "127.0.0.2 1");
    row("pass ends, seen long ago", {16000}, "end", {"-A", "end 0"}, "");
    row("two addresses answer", {0, 0}, "end", {"end 1"}, "127.0.0.2 1");
    row("the first went quiet", {16000, 0}, "silent .2", {"-A", "+A"}, "127.0.0.3 1");
    row("the second went quiet", {0, 16000}, "silent .3", {}, "127.0.0.2 1");
    row("the first went quiet, pass ends", {16000, 0}, "end", {"-A", "+A", "end 1"}, "127.0.0.3 1");
    row("both went quiet", {16000, 16000}, "end", {"-A", "end 0"}, "");
}

void TestDiscoveryServer::outcomes()
{
    QFETCH(QList<int>, stored);
    QFETCH(QString, outcome);
    QFETCH(QStringList, reported);
    QFETCH(QString, shown);
    DiscoveryServer server(*m_context->config(), nullptr, *m_context->pool());
    Reports reports(&server);
    QList<ServerContent> answers;
    for (int i = 0; i < stored.size(); ++i) {
        answers << device("A", stored.at(i));
        answers.last().address = QHostAddress(QStringLiteral("127.0.0.%1").arg(2 + i));
    }
    const QStringList words = outcome.split(' ');
    {
        Watchdog dog(5000, "a receiver that reads the table from another thread");
        for (const ServerContent& answer : qAsConst(answers))
            server.onQueryServerResult(answer, true, false);
        QCOMPARE(server.devices().size(), answers.isEmpty() ? 0 : 1);
        if (words.first() == "found")
            server.onQueryServerResult(device(words.at(1), 0, words.at(2)), true, false);
        else if (words.first() == "silent")
            server.onQueryServerResult(answers.value(words.at(1) == ".3" ? 1 : 0, device("A", 0)), false, false);
        else
            server.onQueryServerResult(ServerContent(), false, true);
    }
    QCOMPARE(reports.take(), (answers.isEmpty() ? QStringList() : QStringList{"+A"}) + reported);
    QCOMPARE(server.devices().size(), shown.isEmpty() ? 0 : 1);
    if (!shown.isEmpty())
        QCOMPARE(server.devices().first().address.toString() + " " + server.devices().first().version, shown);
}

// A device that answered is written down and asked again at the next passes where it
// answered, for the remembered period and no longer.
void TestDiscoveryServer::remembersWhoAnswered()
{
    const ScopedTiming timing([](Timing& t) { t.infoReplyWaitMs = 500; });
    QUORVEL_DEVICE(lately, {"--address", "127.0.0.31", "--no-mdns", "--name", "Lately"});
    QUORVEL_DEVICE(longAgo, {"--address", "127.0.0.32", "--no-mdns", "--name", "Long Ago"});
    QuorvelClientDatabase* db = m_context->database();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(db->rememberDevice(DeviceProcess::serverAt("127.0.0.31"), now - 13LL * 24 * 3600 * 1000));
    QVERIFY(db->rememberDevice(DeviceProcess::serverAt("127.0.0.32"), now - 15LL * 24 * 3600 * 1000));

    DiscoveryServer server(*m_context->config(), db, *m_context->pool());
    Reports reports(&server);
    QVERIFY(server.startDiscovery());
    QStringList seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen += reports.take()).contains("end 1"), 5000);
    QCOMPARE(seen, (QStringList{"+Lately", "end 1"}));
    QCOMPARE(server.foundBy(QHostAddress("127.0.0.31")), QString("remembered"));
    QVERIFY(longAgo.requests("client").isEmpty()); // forgotten after 14 days
    // Written down again as it answered now (under the uuid it gave), the old one gone.
    const QList<ServerContent> remembered = db->rememberedDevices(now - 60000);
    QCOMPARE(remembered.size(), 1);
    QCOMPARE(remembered.first().address.toString(), QString("127.0.0.31"));
    QCOMPARE(db->rememberedDevices(0).size(), 2); // and the test's row, under its made-up uuid
}

// Starting twice makes one browser and one registration, and runs two passes.
void TestDiscoveryServer::passesShareOneBrowser()
{
    DiscoveryServer server(*m_context->config(), nullptr, *m_context->pool());
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
    const ScopedTiming timing([](Timing& t) { t.discoveryUpdatePeriodMs = 100; });
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress("127.0.0.6"), 0));
    DiscoveryServer server(*m_context->config(), nullptr, *m_context->pool());
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
    const ScopedTiming timing([](Timing& t) { t.discoveryUpdatePeriodMs = 200; });
    QUdpSocket socket;
    QVERIFY(socket.bind(QHostAddress("127.0.0.8"), 0));
    auto* server = new DiscoveryServer(*m_context->config(), nullptr, *m_context->pool());
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
    QVERIFY(!socket.waitForReadyRead(3 * Timing::current().discoveryUpdatePeriodMs));
}

QTEST_GUILESS_MAIN(TestDiscoveryServer)
#include "tst_discoveryserver.moc"
