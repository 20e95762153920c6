#include <QNetworkInterface>
#include <QtTest>

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/protocol/UdpRequest.h"
#include "quorvel/tasks/Task.h"
#include "quorvel/tasks/Throughput.h"
#include "json/QtJson.h"

using Samples = QList<QPair<qint64, qint64>>; // (ms, total bytes)

// What the end-to-end tests against the simulator cannot tell apart: the secure-path
// split, the client's identity, the records' parsing and equality rules, and the speed a
// person is shown. Requests and replies themselves are checked where they go over the
// wire (file commands, transfers, discovery, inbound).
class TestProtocol : public QObject {
    Q_OBJECT
private slots:
    void fileOpenSplitsOnlyExactSecurePaths();
    void clientUuidSkipsLoopback();
    void fileEntryTakes64BitNumbers();
    void serverContentSupportAndEquality();
    void throughput_data();
    void throughput();
    void cancelledWaitsEndAtOnce();
    void devicesWordsAreBounded();
};

void TestProtocol::fileOpenSplitsOnlyExactSecurePaths()
{
    // path, option, the path sent
    const QList<QStringList> cases{{"secure:/Docs/a.pdf", "secure", "Docs/a.pdf"},
        {"Secure:/a.txt", "normal", "Secure:/a.txt"}, {"plain.txt", "normal", "plain.txt"},
        {"secure:/x:/y.txt", "secure", "y.txt"}};
    for (const QStringList& c : cases) {
        const QtJson::JsonObject request = ProtocolDefinedJsonObject::fileOpen(c.at(0));
        QCOMPARE(QStringList({c.at(0), request.value("option").toString(), request.value("file_path").toString()}), c);
    }
}

void TestProtocol::clientUuidSkipsLoopback()
{
    const QString uuid = ProtocolDefinedJsonObject::clientUuid();
    QVERIFY(uuid != QLatin1String("00:00:00:00:00:00"));
    if (qEnvironmentVariableIsSet("QUORVEL_REQUIRE_NETNS"))
        QVERIFY2(!uuid.isEmpty(), "the suite's namespace has a veth link with a hardware address");
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        if (iface.hardwareAddress() == uuid)
            QVERIFY(!iface.flags().testFlag(QNetworkInterface::IsLoopBack));
    }
}

void TestProtocol::fileEntryTakes64BitNumbers()
{
    const FileContent file = FileContent::fromJson(QtJson::parseObject(
        "{ \"date_modified\" : 1480000000000, \"file_name\" : \"a.png\", \"file_size\" : 5000000000 }"));
    QCOMPARE(file.size, Q_INT64_C(5000000000));
    QCOMPARE(file.dateModified, Q_INT64_C(1480000000000));
}

void TestProtocol::serverContentSupportAndEquality()
{
    ServerContent a;
    a.address = QHostAddress("127.0.0.2");
    a.uuid = "u1";
    a.name = "Room";
    for (const char* s : {"file_upload", "Vantrope : 8000", "Broken : port", "A : 1 : 2", "Tight:9000"})
        a.addSupport(s);
    // Only "NAME : NUMBER" names a port; anything else is a plain feature.
    QCOMPARE(a.supportList, (QStringList{"file_upload", "Broken : port", "A : 1 : 2", "Tight:9000"}));
    bool found = false;
    QCOMPARE(a.supportPort("Nothing", &found).port, 0);
    QVERIFY(!found);
    a.addSupport("Vantrope : 8001"); // replaces
    QCOMPARE(a.supportPort("Vantrope", &found).port, 8001);
    QVERIFY(found);

    // A device is the same device whatever its version, port or support words; its name,
    // address and feature ports tell it apart.
    ServerContent b = a;
    b.port = 1;
    b.version = "9";
    b.os = "other";
    b.valid = true;
    b.supportList.clear();
    QVERIFY(a == b);
    b.supportPorts["Vantrope"].port = 8002;
    QVERIFY(a != b);
    b = a;
    b.address = QHostAddress("127.0.0.3");
    QVERIFY(a != b);
}

void TestProtocol::throughput_data()
{
    // None while the first bytes only fill buffers, then the rate of the last few seconds.
    QTest::addColumn<qint64>("buffered");
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<double>("expected"); // of the last sample; -1: none yet

    // A sender sees 4 MB leave in no time: no speed for that.
    QTest::newRow("buffers filling") << qint64(4000000) << Samples{{10, 4000000}, {500, 4200000}} << -1.0;
    QTest::newRow("under a second") << qint64(0) << Samples{{900, 9000000}} << -1.0;
    QTest::newRow("less than the buffers twice over") << qint64(4000000) << Samples{{2000, 7000000}} << -1.0;
    QTest::newRow("first settled sample: the average") << qint64(0) << Samples{{2000, 4000000}} << 2000000.0;
    // After a burst, the window shows today's rate, not the burst's.
    QTest::newRow("window forgets the burst")
        << qint64(1000) << Samples{{1000, 50000000}, {2000, 51000000}, {4000, 53000000}, {5000, 54000000}} << 1000000.0;
    QTest::newRow("steady") << qint64(0) << Samples{{1000, 1000}, {2000, 2000}, {3000, 3000}} << 1000.0;
}

void TestProtocol::throughput()
{
    QFETCH(qint64, buffered);
    QFETCH(Samples, samples);
    QFETCH(double, expected);
    Throughput t(buffered);
    double speed = -1;
    for (const auto& s : samples)
        speed = t.sampleAt(s.first, s.second);
    QCOMPARE(speed, expected);
}

namespace {
// Waits on what a cancel must cut short: a reply that never comes and, after it, a pause.
class SilentWait : public Task {
public:
    QAtomicInt waiting;
    bool paused = true;

protected:
    void execute() override
    {
        UdpRequest request;
        const Wakeup wakeup = stopsOnCancel(request);
        waiting.storeRelaxed(1);
        request.waitForDatagram(-1);
        paused = pause(3600 * 1000);
    }
};
} // namespace

void TestProtocol::cancelledWaitsEndAtOnce()
{
    // Without a stop check, only a wake ends the wait early, whether before or during it.
    UdpRequest request;
    std::unique_ptr<QThread> waiter(QThread::create([&] { request.waitForDatagram(60000); }));
    waiter->start();
    request.wake();
    const bool woken = waiter->wait(10000);
    waiter->wait();
    QVERIFY(woken);
    // A task's cancel wakes its request and its pause; the thread pool's own waiting would
    // otherwise be an hour.
    auto* task = new SilentWait;
    task->setAutoDelete(false);
    const std::unique_ptr<SilentWait> owned(task);
    QThreadPool pool;
    pool.start(task);
    QTRY_VERIFY(task->waiting.loadRelaxed());
    task->cancel();
    QVERIFY(pool.waitForDone(10000));
    QVERIFY(!task->paused);
}

// A device's reason reaches the panel, the command line's output and the log: a datagram
// of it must not, nor its line breaks.
void TestProtocol::devicesWordsAreBounded()
{
    QCOMPARE(TaskOutcome::failure("refused", QString(300, 'x')).text(), "refused: " + QString(200, 'x') + "...");
    QCOMPARE(TaskOutcome::failure("refused", "disk\nfull").deviceReason, QString("disk\\u000afull"));
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
