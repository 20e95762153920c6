#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>
#include <memory>

#include "Watchdog.h"
#include "cast/CastControllerClient.h"

Q_DECLARE_METATYPE(QByteArrayList)

// The link to the casting program against a local server the test plays.
class TestCastControllerClient : public QObject {
    Q_OBJECT
private slots:
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
    void lifecycle();
    void statusLines_data();
    void statusLines();
    void commandConditions();

private:
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
};

// Retries until the program's server appears, ends its thread when the program goes,
// and deleting it never waits on the program, whatever state it is in.
void TestCastControllerClient::lifecycle()
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

void TestCastControllerClient::statusLines_data()
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
void TestCastControllerClient::statusLines()
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

void TestCastControllerClient::commandConditions()
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

QTEST_GUILESS_MAIN(TestCastControllerClient)
#include "tst_castcontrollerclient.moc"
