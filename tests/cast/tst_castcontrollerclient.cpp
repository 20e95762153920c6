#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include "LogCapture.h"
#include "cast/CastControllerClient.h"

// The link to the casting program against a local server the test plays.
class TestCastControllerClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void connectsOnceTheServerAppears();
    void statusLinesAndCommandConditions();
    void startTwiceIsRefused();

private:
    QString uniqueName() const
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
    QVERIFY(link.wait(5000)); // the thread ends with the link
}

void TestCastControllerClient::statusLinesAndCommandConditions()
{
    const QString name = uniqueName();
    QLocalServer server;
    QVERIFY(server.listen(name));
    CastControllerClient link(name);
    QSignalSpy connected(&link, &CastControllerClient::serverConnected);
    QSignalSpy castConnected(&link, &CastControllerClient::castConnected);
    QSignalSpy paused(&link, &CastControllerClient::castPaused);
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

    // A line split across writes, then two lines in one write.
    program->write("castCon");
    program->flush();
    program->waitForBytesWritten(1000);
    program->write("nected\r\n");
    program->flush();
    QVERIFY(castConnected.count() || castConnected.wait(5000));
    QVERIFY(link.isPlaying());
    QVERIFY(!link.sendResume()); // refused while playing
    QVERIFY(link.sendChangeAspectRatio());
    QCOMPARE(readCommand(program), QByteArray("changeAspectRatio\r\n"));
    QVERIFY(link.sendPause());
    QCOMPARE(readCommand(program), QByteArray("pause\r\n"));
    program->write("castPaused\r\ncastResumed\r\n");
    program->flush();
    QVERIFY(resumed.count() || resumed.wait(5000));
    QCOMPARE(paused.count(), 1);
    // A line ended by LF alone loses its last character and matches nothing.
    program->write("castPaused\ncastDisconnected\r\n");
    program->flush();
    QVERIFY(lost.count() || lost.wait(5000));
    QCOMPARE(paused.count(), 1);
    QVERIFY(!link.isCastConnected());
    QVERIFY(link.isPlaying()); // "castDisconnected" leaves playing as it was
    QVERIFY(!link.sendPause());
    QVERIFY(link.isServerConnected()); // the socket stays connected
}

void TestCastControllerClient::startTwiceIsRefused()
{
    CastControllerClient link(uniqueName());
    QVERIFY(link.start());
    QVERIFY(!link.start());
    QVERIFY(LogCapture::lines().contains("[W][CastControllerClient] CastController is running."));
}

QTEST_GUILESS_MAIN(TestCastControllerClient)
#include "tst_castcontrollerclient.moc"
