#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include "LogCapture.h"
#include "Watchdog.h"
#include "cast/CastControllerClient.h"

Q_DECLARE_METATYPE(QByteArrayList)

// The link to the casting program against a local server the test plays.
class TestCastControllerClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void connectsOnceTheServerAppears();
    void statusLines_data();
    void statusLines();
    void commandConditions();
    void deletedInAnyState_data();
    void deletedInAnyState();

private:
    static QString uniqueName()
    {
        return QString("tstcast%1x%2")
            .arg(QCoreApplication::applicationPid())
            .arg(QRandomGenerator::global()->generate());
    }
    static QByteArray readCommand(QLocalSocket* s)
    {
        QDeadlineTimer deadline(5000);
        while (!s->canReadLine() && !deadline.hasExpired())
            s->waitForReadyRead(100);
        return s->readLine();
    }
    static void write(QLocalSocket* s, const QByteArray& bytes)
    {
        s->write(bytes);
        s->flush();
        s->waitForBytesWritten(1000);
    }
};

void TestCastControllerClient::initTestCase()
{
    LogCapture::install();
}

void TestCastControllerClient::connectsOnceTheServerAppears()
{
    const QString name = uniqueName();
    CastControllerClient link(name);
    QSignalSpy connected(&link, &CastControllerClient::serverConnected);
    QSignalSpy errors(&link, &CastControllerClient::error);
    QVERIFY(link.start());
    QVERIFY(!link.start());
    QVERIFY(LogCapture::lines().contains("[W][CastControllerClient] CastController is running."));
    // No server yet: it keeps trying, every 333 ms.
    QVERIFY(errors.wait(3000));
    QVERIFY(errors.wait(3000));
    QVERIFY(errors.first().first().toString().startsWith("Socket error: "));
    QLocalServer server;
    QVERIFY(server.listen(name));
    QVERIFY(server.waitForNewConnection(5000));
    QVERIFY(connected.count() || connected.wait(5000));
    QVERIFY(link.isServerConnected());
    QLocalSocket* program = server.nextPendingConnection();
    QSignalSpy disconnected(&link, &CastControllerClient::serverDisconnected);
    program->disconnectFromServer();
    QVERIFY(disconnected.count() || disconnected.wait(5000));
    QVERIFY(!link.isServerConnected());
    QTRY_VERIFY(!link.isRunning()); // the link's thread ends with the link
}

void TestCastControllerClient::statusLines_data()
{
    QTest::addColumn<QByteArrayList>("writes");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("CR LF") << QByteArrayList{"castConnected\r\n"} << QStringList{"castConnected"};
    QTest::newRow("LF alone") << QByteArrayList{"castConnected\n"} << QStringList{"castConnected"};
    QTest::newRow("split across writes") << QByteArrayList{"castCon", "nected\r\n"} << QStringList{"castConnected"};
    QTest::newRow("several in one write, mixed ends")
        << QByteArrayList{"castPaused\ncastResumed\r\ncastConnected\n"}
        << QStringList{"castPaused", "castResumed", "castConnected"};
    QTest::newRow("NUL ends the text") << QByteArrayList{QByteArray("castPaused\0xy\r\n", 15)}
                                       << QStringList{"castPaused"};
    QTest::newRow("case and junk") << QByteArrayList{"castpaused\r\n\r\n\ncastPaused \r\n"} << QStringList{};
}

// Every status signal is emitted on the thread that made the link, with the link's state
// already matching it: state and signals never cross threads.
void TestCastControllerClient::statusLines()
{
    QFETCH(QByteArrayList, writes);
    QFETCH(QStringList, expected);
    const QString name = uniqueName();
    QLocalServer server;
    QVERIFY(server.listen(name));
    CastControllerClient link(name);
    QCOMPARE(link.thread(), QThread::currentThread());
    QStringList seen;
    // Direct connections: each check runs where the signal is emitted.
    connect(
        &link, &CastControllerClient::castConnected, this,
        [&] {
            QCOMPARE(QThread::currentThread(), thread());
            QVERIFY(link.isCastConnected() && link.isPlaying());
            seen << "castConnected";
        },
        Qt::DirectConnection);
    connect(
        &link, &CastControllerClient::castPaused, this,
        [&] {
            QCOMPARE(QThread::currentThread(), thread());
            QVERIFY(!link.isPlaying());
            seen << "castPaused";
        },
        Qt::DirectConnection);
    connect(
        &link, &CastControllerClient::castResumed, this,
        [&] {
            QCOMPARE(QThread::currentThread(), thread());
            QVERIFY(link.isPlaying());
            seen << "castResumed";
        },
        Qt::DirectConnection);
    QSignalSpy lost(&link, &CastControllerClient::castDisconnected);
    QSignalSpy connected(&link, &CastControllerClient::serverConnected);
    QVERIFY(link.start());
    QVERIFY(server.waitForNewConnection(5000));
    QLocalSocket* program = server.nextPendingConnection();
    QVERIFY(connected.count() || connected.wait(5000));
    for (const QByteArray& bytes : qAsConst(writes))
        write(program, bytes);
    write(program, "castDisconnected\r\n"); // a mark: everything before it was read
    QVERIFY(lost.wait(5000));
    QCOMPARE(seen, expected);
}

void TestCastControllerClient::commandConditions()
{
    const QString name = uniqueName();
    QLocalServer server;
    QVERIFY(server.listen(name));
    CastControllerClient link(name);
    QSignalSpy connected(&link, &CastControllerClient::serverConnected);
    QSignalSpy castConnected(&link, &CastControllerClient::castConnected);
    QSignalSpy resumed(&link, &CastControllerClient::castResumed);
    QSignalSpy lost(&link, &CastControllerClient::castDisconnected);
    QVERIFY(link.start());
    QVERIFY(server.waitForNewConnection(5000));
    QLocalSocket* program = server.nextPendingConnection();
    QVERIFY(connected.count() || connected.wait(5000));

    // Before "castConnected" only "stop" goes through.
    QVERIFY(!link.sendPause());
    QVERIFY(!link.sendResume());
    QVERIFY(!link.sendChangeAspectRatio());
    QVERIFY(link.sendStop());
    QCOMPARE(readCommand(program), QByteArray("stop\r\n"));

    write(program, "castConnected\r\n");
    QVERIFY(castConnected.wait(5000));
    QVERIFY(!link.sendResume()); // refused while playing
    QVERIFY(link.sendChangeAspectRatio());
    QCOMPARE(readCommand(program), QByteArray("changeAspectRatio\r\n"));
    QVERIFY(link.sendPause());
    QCOMPARE(readCommand(program), QByteArray("pause\r\n"));
    write(program, "castPaused\r\n");
    QTRY_VERIFY(!link.isPlaying());
    QVERIFY(!link.sendPause());
    QVERIFY(!link.sendChangeAspectRatio());
    QVERIFY(link.sendResume());
    QCOMPARE(readCommand(program), QByteArray("resume\r\n"));
    write(program, "castResumed\r\ncastDisconnected\r\n");
    QVERIFY(lost.wait(5000));
    QCOMPARE(resumed.count(), 1);
    QVERIFY(link.isPlaying()); // "castDisconnected" leaves playing as it was
    QVERIFY(!link.sendPause());
    QVERIFY(link.isServerConnected()); // the socket stays connected
    QVERIFY(link.sendStop());
    QCOMPARE(readCommand(program), QByteArray("stop\r\n"));
}

void TestCastControllerClient::deletedInAnyState_data()
{
    QTest::addColumn<int>("state");
    QTest::newRow("before its first attempt") << 0;
    QTest::newRow("while retrying") << 1;
    QTest::newRow("connected") << 2;
    QTest::newRow("never started") << 3;
}

// The panel deletes the link whenever the cast task ends: that never waits on the
// casting program.
void TestCastControllerClient::deletedInAnyState()
{
    QFETCH(int, state);
    const QString name = uniqueName();
    QLocalServer server;
    auto* link = new CastControllerClient(name);
    QSignalSpy errors(link, &CastControllerClient::error);
    QSignalSpy connected(link, &CastControllerClient::serverConnected);
    if (state != 3)
        QVERIFY(link->start());
    if (state == 1)
        QVERIFY(errors.wait(3000));
    if (state == 2) {
        QVERIFY(server.listen(name));
        QVERIFY(server.waitForNewConnection(5000));
        QVERIFY(connected.count() || connected.wait(5000));
    }
    {
        Watchdog dog(3000, "deleting the cast link");
        delete link;
    }
    if (state == 2) {
        QLocalSocket* program = server.nextPendingConnection();
        QTRY_COMPARE(program->state(), QLocalSocket::UnconnectedState);
    }
}

QTEST_GUILESS_MAIN(TestCastControllerClient)
#include "tst_castcontrollerclient.moc"
