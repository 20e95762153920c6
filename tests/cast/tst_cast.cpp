#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>
#include <memory>

#include "DeviceProcess.h"
#include "TestFiles.h"
#include "UdpProbe.h"
#include "Watchdog.h"
#include "app/AppContext.h"
#include "cast/CastControllerClient.h"
#include "cast/VantropeTask.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "settings/Config.h"

namespace {
const QString Cancelled = QStringLiteral("the cast was cancelled");
const QString Prompt = QStringLiteral("Vantrope|%1|Enter the cast password of \"Room X\"");
const QString Wrong = QStringLiteral("\nWrong password, please try again");
const QString Ran = QStringLiteral("-s 1 -i 127.0.0.2 -cs cast");
const QString NotRun = QStringLiteral("<not run>");

// One negotiation: the simulator's options, the settings and answers, and what follows.
struct Case {
    QStringList device;
    QString confirm; // "off", or the answer to the question: "yes", "no"
    QString program; // a stand-in in the test's folder
    QString stored; // the password stored before
    QStringList answers; // to the password prompts
    QStringList requests; // what the device received
    QStringList prompts;
    QString reason; // empty: the cast worked
    QString args; // the casting program's command line
    QString storedAfter;
};
} // namespace
Q_DECLARE_METATYPE(Case)
Q_DECLARE_METATYPE(QByteArrayList)

// Cast negotiation against the simulated device: the datagrams in order, the prompts, the
// stored password and the task's outcome. Stand-in casting programs record their command
// line; one of them then fails as a program without a display would. Then the link to the
// casting program against a local server the test plays.
class TestCast : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init()
    {
        m_name = QString("tstcast%1x%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QRandomGenerator::global()->generate());
        m_link = std::make_unique<CastControllerClient>(m_name);
    }
    void cleanup()
    {
        m_link.reset();
        m_server.close();
    }
    void negotiation_data();
    void negotiation();
    void nulAndTrailingBytes();
    void lifecycle();
    void statusLines_data();
    void statusLines();
    void commandConditions();

private:
    struct Run {
        TaskOutcome outcome;
        QString errMsg = "<none>";
        QStringList prompts;
    };
    Run runTask(const QString& address, quint16 port, const QStringList& answers, bool confirm,
        const std::function<void()>& meanwhile = {});
    QString programArgs() const
    {
        QFile f(m_dir.path() + "/args.txt");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : NotRun;
    }

    void connectLink() // starts the link and takes its connection as the program
    {
        QSignalSpy connected(m_link.get(), &CastControllerClient::serverConnected);
        QVERIFY(m_server.isListening() || m_server.listen(m_name));
        QVERIFY(m_link->isRunning() || m_link->start());
        QVERIFY(m_server.waitForNewConnection(5000));
        m_program = m_server.nextPendingConnection();
        QVERIFY(connected.count() || connected.wait(5000));
    }
    QByteArray command()
    {
        QDeadlineTimer deadline(5000);
        while (!m_program->canReadLine() && !deadline.hasExpired())
            m_program->waitForReadyRead(100);
        return m_program->readLine();
    }
    void write(const QByteArray& bytes)
    {
        m_program->write(bytes);
        m_program->waitForBytesWritten(1000);
    }

    QString m_name;
    QLocalServer m_server;
    std::unique_ptr<CastControllerClient> m_link;
    QLocalSocket* m_program = nullptr;

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
};

void TestCast::initTestCase()
{
    m_context = std::make_unique<AppContext>(m_dir.path());
    const QByteArray record = "echo \"$@\" > '" + m_dir.path().toUtf8() + "/args.txt'\n";
    QVERIFY(TestFiles::script(m_dir.path() + "/fake-vantrope", record));
    QVERIFY(
        TestFiles::script(m_dir.path() + "/failing-vantrope", record + "echo 'cannot open display :0' >&2\nexit 3\n"));
    // md5(md5("s3cret") in hex + "abc"), worked out independently: the simulator's own
    // digest could share a fault of ours.
    QCOMPARE(VantropeTask::passwordDigest("s3cret", "abc"), QString("eeb9b27a85bb6c66e50ffb0f5688c8b1"));
}

TestCast::Run TestCast::runTask(const QString& address, quint16 port, const QStringList& answers, bool confirm,
    const std::function<void()>& meanwhile)
{
    // The prompts are answered on the task's thread: the front ends' queued answers are
    // driven end to end by tst_castendtoend.
    Run run;
    auto* task = new VantropeTask(*m_context->config(), QHostAddress(address), port, "Room X", "Caster PC", 1920, 1080);
    QStringList left = answers;
    connect(task, &VantropeTask::waitForUserInputPassword, [&, task](QString def, QString title, QString content) {
        run.prompts << title + "|" + def + "|" + content;
        QString answer = left.isEmpty() ? QString() : left.takeFirst();
        task->setPassword(answer);
    });
    connect(task, &VantropeTask::waitForUserConfirmCast, [&, task](const QString& name) {
        run.prompts << "confirm|" + name;
        task->setConfirmCastResult(confirm);
    });
    connect(task, &VantropeTask::errMsg, [&](const QString& text) { run.errMsg = text; });
    connect(task, &Task::ended, [&](const TaskOutcome& outcome) { run.outcome = outcome; });
    QThreadPool pool;
    pool.start(task);
    if (meanwhile)
        meanwhile();
    if (!pool.waitForDone(30000))
        run.outcome = TaskOutcome::failure("the task did not end within 30 s");
    return run;
}

void TestCast::negotiation_data()
{
    QTest::addColumn<Case>("c");
    const QStringList authCast{"get_auth", "cast"}, confirmed{"get_auth", "confirm", "get_auth", "cast"};
    const QString ask = "confirm|Room X", fake = "fake-vantrope", none;
    QTest::newRow("confirmed with a password") << Case{{"--cast-password", "s3cret"}, "yes", fake, none, {"s3cret"},
        confirmed, {Prompt.arg(""), ask}, none, Ran, "s3cret"};
    // Declining ends without an error text for the user.
    QTest::newRow("declined") << Case{{}, "no", fake, none, {}, {"get_auth", "confirm", "get_auth", "cancel_confirm"},
        {ask}, Cancelled, NotRun, none};
    QTest::newRow("without confirmation") << Case{{}, "off", fake, none, {}, authCast, {}, none, Ran, none};
    // The stored password goes first without asking; the device says -1002; the prompt
    // offers the stored one and says it was wrong; each answer is stored at once.
    QTest::newRow("stored, then wrong password") << Case{{"--cast-password", "new-one"}, "off", fake, "old-one",
        {"typo", "new-one"}, authCast + authCast + authCast,
        {Prompt.arg("old-one") + Wrong, Prompt.arg("typo") + Wrong}, none, Ran, "new-one"};
    // A cancelled prompt ends the retries, and the rejected password stays stored.
    QTest::newRow("cancelled password prompt") << Case{{"--cast-password", "new-one"}, "off", fake, "wrong-again", {""},
        {"get_auth", "cast", "get_auth"}, {Prompt.arg("wrong-again") + Wrong}, Cancelled, NotRun, "wrong-again"};
    QTest::newRow("refused without an error code") << Case{{"--cast-unknown", "cast"}, "off", fake, none, {}, authCast,
        {}, QString("The device answered with an error: Unknow type: cast"), NotRun, none};
    // A device that knows no "confirm" is cast to without confirmation.
    QTest::newRow("device without confirmation")
        << Case{{"--cast-unknown", "confirm"}, "yes", fake, none, {}, confirmed, {}, none, Ran, none};
    QTest::newRow("late reply") << Case{
        {"--delay", "2600"}, "yes", fake, none, {}, {"get_auth"}, {}, "Room X did not answer within 2 s", NotRun, none};
    QTest::newRow("empty ip leaves out the address")
        << Case{{"--cast-ip", ""}, "off", fake, none, {}, authCast, {}, none, "-s 1 -cs cast", none};
    // The device's "ip" reaches the program as one argument, and only as an address.
    const QString noAddress = QStringLiteral("Room X named no address to cast to: ");
    QTest::newRow("ip with options") << Case{{"--cast-ip", "198.51.100.2 -platform offscreen"}, "off", fake, none, {},
        authCast, {}, noAddress + "\"198.51.100.2 -platform offscreen\"", NotRun, none};
    QTest::newRow("ip that is an option") << Case{{"--cast-ip=-platformpluginpath"}, "off", fake, none, {}, authCast,
        {}, noAddress + "\"-platformpluginpath\"", NotRun, none};
    QTest::newRow("ip out of range") << Case{{"--cast-ip", "198.51.100.256"}, "off", fake, none, {}, authCast, {},
        noAddress + "\"198.51.100.256\"", NotRun, none};
    QTest::newRow("ip with a control character")
        << Case{{"--cast-ip", "a\nb"}, "off", fake, none, {}, authCast, {}, noAddress + "\"a\\u000ab\"", NotRun, none};
    QTest::newRow("host name") << Case{{"--cast-ip", "display-7.example"}, "off", fake, none, {}, authCast, {}, none,
        "-s 1 -i display-7.example -cs cast", none};
    // The program's failure is the cast's; a missing program is found out before the
    // device is asked anything.
    QTest::newRow("casting program fails") << Case{{}, "off", "failing-vantrope", none, {}, authCast, {},
        "the casting program ended with status 3: cannot open display :0", Ran, none};
    QTest::newRow("casting program missing") << Case{{}, "yes", "no-such-vantrope", none, {}, {}, {},
        "the casting program %1/no-such-vantrope was not found", NotRun, none};
}

void TestCast::negotiation()
{
    QFETCH(Case, c);
    const char* const uuid = "02:51:7F:00:00:02";
    QFile::remove(m_dir.path() + "/args.txt");
    VantropeTask::setProgramNameForTests(m_dir.path() + "/" + c.program);
    QVERIFY(m_context->config()->setValue(Config::ConfirmCast, c.confirm != "off"));
    QVERIFY(m_context->config()->setCastPassword(uuid, c.stored));
    QUORVEL_DEVICE(d, QStringList{"--address", "127.0.0.2", "--no-mdns"} + c.device);

    const Run run = runTask("127.0.0.2", 8000, c.answers, c.confirm == "yes");
    const QString reason = QString(c.reason).replace("%1", m_dir.path());
    QCOMPARE(run.outcome.reason, reason);
    QCOMPARE(run.outcome.ok, reason.isEmpty());
    QCOMPARE(run.errMsg, reason.isEmpty() ? "<none>" : reason == Cancelled ? "" : reason);
    QCOMPARE(run.prompts, c.prompts);
    QCOMPARE(programArgs(), c.args);
    QCOMPARE(m_context->config()->castPassword(uuid), c.storedAfter);
    QStringList types;
    for (const QJsonObject& line : d.logWhere("dir", "in")) {
        const QVariantMap r = QtJson::parseObject(line.value("payload").toString().toUtf8());
        types << r.value("type").toString();
        QCOMPARE(r.value("uuid").toString(), ProtocolDefinedJsonObject::clientUuid());
        QCOMPARE(r.contains("passwd"), c.device.contains("--cast-password") && types.last() != "get_auth");
        if (types.last() == "confirm")
            QCOMPARE(r.value("name").toString(), QString("Caster PC"));
        if (types.last() == "cast") {
            QCOMPARE(QVariantList({r.value("port"), r.value("quor_touch_port"), r.value("source_width"),
                         r.value("source_height")}),
                QVariantList({7236, 6000, 1920, 1080}));
        }
    }
    QCOMPARE(types, c.requests);
}

void TestCast::nulAndTrailingBytes()
{
    m_context->config()->setValue(Config::ConfirmCast, false);
    VantropeTask::setProgramNameForTests(m_dir.path() + "/fake-vantrope");
    QFile::remove(m_dir.path() + "/args.txt");
    UdpProbe fake(QHostAddress("127.0.0.10"), 8100);
    const Run run = runTask("127.0.0.10", 8100, {}, false, [&] {
        for (const QByteArray& reply : {QByteArray("{\"result\":\"ok\",\"need_passwd\":false}\0garbage{", 44),
                 QByteArray("{\"result\":\"ok\",\"ip\":\"\"}\0\0\0", 26)}) {
            const QNetworkDatagram request = fake.receive(5000);
            QVERIFY(request.isValid());
            fake.socket().writeDatagram(reply, request.senderAddress(), quint16(request.senderPort()));
        }
    });
    QVERIFY2(run.outcome.ok, qPrintable(run.outcome.reason));
    QCOMPARE(programArgs(), QString("-s 1 -cs cast"));
}

// Retries until the program's server appears, ends its thread when the program goes,
// and deleting it never waits on the program, whatever state it is in.
void TestCast::lifecycle()
{
    QSignalSpy errors(m_link.get(), &CastControllerClient::error);
    QVERIFY(m_link->start());
    QVERIFY(!m_link->start());
    QVERIFY(errors.wait(3000)); // no server yet: it keeps trying, every 333 ms
    QVERIFY(errors.wait(3000));
    QVERIFY(errors.first().first().toString().startsWith("Socket error: "));
    {
        Watchdog dog(3000, "deleting the cast link while it retries");
        m_link.reset();
    }
    m_link = std::make_unique<CastControllerClient>(m_name);
    connectLink();
    QSignalSpy disconnected(m_link.get(), &CastControllerClient::serverDisconnected);
    m_program->disconnectFromServer();
    QVERIFY(disconnected.count() || disconnected.wait(5000));
    QVERIFY(!m_link->isServerConnected());
    QTRY_VERIFY(!m_link->isRunning()); // the link's thread ends with the link

    m_link = std::make_unique<CastControllerClient>(m_name);
    connectLink();
    {
        Watchdog dog(3000, "deleting a connected cast link");
        m_link.reset();
    }
    QTRY_COMPARE(m_program->state(), QLocalSocket::UnconnectedState);
}

void TestCast::statusLines_data()
{
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("CR LF") << QByteArrayList{"castConnected\r\n"} << QStringList{"castConnected"};
    QTest::newRow("LF alone") << QByteArrayList{"castConnected\n"} << QStringList{"castConnected"};
    QTest::newRow("split across writes") << QByteArrayList{"castCon", "nected\r\n"} << QStringList{"castConnected"};
    QTest::newRow("several in one write, mixed ends") << QByteArrayList{"castPaused\ncastResumed\r\ncastConnected\n"}
                                                      << QStringList{"castPaused", "castResumed", "castConnected"};
    QTest::newRow("NUL ends the text") << QByteArrayList{QByteArray("castPaused\0xy\r\n", 15)}
                                       << QStringList{"castPaused"};
    QTest::newRow("case and junk") << QByteArrayList{"castpaused\r\n\r\n\ncastPaused \r\n"} << QStringList{};
}

// Each status signal is emitted on the thread that made the link, with the link's
// state already matching it: state and signals never cross threads.
void TestCast::statusLines()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QStringList, expected);
    QCOMPARE(m_link->thread(), QThread::currentThread());
    QStringList seen;
    const auto watch = [&](void (CastControllerClient::*signal)(), const char* name, bool playing) {
        connect(
            m_link.get(), signal, this,
            [&, name, playing] {
                QCOMPARE(QThread::currentThread(), thread());
                QCOMPARE(m_link->isPlaying(), playing);
                seen << name;
            },
            Qt::DirectConnection);
    };
    watch(&CastControllerClient::castConnected, "castConnected", true);
    watch(&CastControllerClient::castPaused, "castPaused", false);
    watch(&CastControllerClient::castResumed, "castResumed", true);
    QSignalSpy lost(m_link.get(), &CastControllerClient::castDisconnected);
    connectLink();
    for (const QByteArray& bytes : qAsConst(writes))
        write(bytes);
    write("castDisconnected\r\n"); // a mark: everything before it was read
    QVERIFY(lost.wait(5000));
    QCOMPARE(seen, expected);
}

void TestCast::commandConditions()
{
    QSignalSpy lost(m_link.get(), &CastControllerClient::castDisconnected);
    connectLink();
    // Before "castConnected" only "stop" goes through.
    QVERIFY(!m_link->sendPause() && !m_link->sendResume() && !m_link->sendChangeAspectRatio());
    QVERIFY(m_link->sendStop());
    QCOMPARE(command(), QByteArray("stop\r\n"));
    write("castConnected\r\n");
    QTRY_VERIFY(m_link->isPlaying());
    QVERIFY(!m_link->sendResume() && m_link->sendChangeAspectRatio()); // resume refused while playing
    QCOMPARE(command(), QByteArray("changeAspectRatio\r\n"));
    QVERIFY(m_link->sendPause());
    QCOMPARE(command(), QByteArray("pause\r\n"));
    write("castPaused\r\n");
    QTRY_VERIFY(!m_link->isPlaying());
    QVERIFY(!m_link->sendPause() && !m_link->sendChangeAspectRatio());
    QVERIFY(m_link->sendResume());
    QCOMPARE(command(), QByteArray("resume\r\n"));
    write("castResumed\r\ncastDisconnected\r\n");
    QVERIFY(lost.wait(5000));
    QVERIFY(m_link->isPlaying() && !m_link->sendPause()); // "castDisconnected" leaves playing as it was
    QVERIFY(m_link->sendStop()); // the socket stays connected
    QCOMPARE(command(), QByteArray("stop\r\n"));
}

QTEST_GUILESS_MAIN(TestCast)
#include "tst_cast.moc"
