#include <QLocalSocket>
#include <QtTest>
#include <memory>

#include "app/LocalServer.h"

Q_DECLARE_METATYPE(QByteArrayList)

// The local channel: one read is one message, text up to the first NUL, only an exact
// "CMD:showUp" shows the window; connections are served as they come and dropped when
// their peer closes.
class TestLocalServer : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_name = QStringLiteral("tstlocalserver%1%2")
                     .arg(QCoreApplication::applicationPid())
                     .arg(QRandomGenerator::global()->generate());
        startServer();
    }
    void cleanup() { delete m_server; }
    void framing_data();
    void framing();
    void connectionsComeAndGo();

private:
    void startServer()
    {
        m_reads = 0;
        m_server = new LocalServer(m_name);
        connect(
            m_server, &LocalServer::privateDataReceived, this, [this] { ++m_reads; }, Qt::QueuedConnection);
        m_server->start();
    }
    std::unique_ptr<QLocalSocket> connectClient() const
    {
        auto socket = std::make_unique<QLocalSocket>();
        QDeadlineTimer deadline(5000); // the listener may still be starting
        do
            socket->connectToServer(m_name);
        while (!socket->waitForConnected(100) && !deadline.hasExpired());
        return socket;
    }
    QString m_name;
    LocalServer* m_server = nullptr;
    int m_reads = 0; // reads the listener made, counted on this thread
};

void TestLocalServer::framing_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<int>("shows");
    QTest::addColumn<QStringList>("data"); // what reaches dataReceived
    QTest::newRow("command") << QByteArrayList{"CMD:showUp"} << 1 << QStringList();
    QTest::newRow("text after NUL ignored") << QByteArrayList{QByteArray("CMD:showUp\0junk", 15)} << 1 << QStringList();
    QTest::newRow("no prefix is data") << QByteArrayList{"showUp"} << 0 << QStringList{"showUp"};
    QTest::newRow("split over two reads") << QByteArrayList{"CMD:sh", "owUp"} << 0 << QStringList{"owUp"};
    QTest::newRow("two in one read") << QByteArrayList{"CMD:showUpCMD:showUp"} << 0 << QStringList();
    QTest::newRow("case-sensitive") << QByteArrayList{"CMD:showup"} << 0 << QStringList();
    QTest::newRow("prefix not first") << QByteArrayList{"xCMD:showUp"} << 0 << QStringList();
}

void TestLocalServer::framing()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(int, shows);
    QFETCH(QStringList, data);
    QStringList got;
    connect(m_server, &LocalServer::dataReceived, this, [&](const QString& text) { got << text; });
    QSignalSpy showUp(m_server, &LocalServer::showUp);
    const auto client = connectClient();
    for (const QByteArray& bytes : qAsConst(reads)) {
        const int before = m_reads;
        client->write(bytes);
        QVERIFY(client->waitForBytesWritten(2000));
        QTRY_VERIFY_WITH_TIMEOUT(m_reads > before, 5000); // one read before the next write
    }
    QCoreApplication::sendPostedEvents(); // the interpretation is queued like the count
    QCOMPARE(showUp.count(), shows);
    QCOMPARE(got, data);
}

void TestLocalServer::connectionsComeAndGo()
{
    // A stale socket file, as a crashed client leaves it, does not block listening.
    delete m_server;
    QVERIFY(QFile(QDir::tempPath() + "/" + m_name).open(QIODevice::WriteOnly));
    startServer();

    for (int i = 0; i < 50; ++i) {
        const auto client = connectClient();
        QCOMPARE(client->state(), QLocalSocket::ConnectedState);
        if (i % 2) {
            client->write("x");
            QVERIFY(client->waitForBytesWritten(2000));
        }
        client->disconnectFromServer();
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_server->connectionCount(), 0, 5000);
    QTRY_COMPARE(m_reads, 25); // what a peer wrote just before closing still arrives

    // Idle connections do not delay a message: it is read when it arrives, not in turn.
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 30; ++i)
        idle.push_back(connectClient());
    QTRY_COMPARE(m_server->connectionCount(), 30);
    QSignalSpy showUp(m_server, &LocalServer::showUp);
    const auto client = connectClient();
    client->write("CMD:showUp");
    QVERIFY(client->waitForBytesWritten(2000));
    const int queuedMs = 2000; // read in turn, each idle peer waited on, it takes seconds
    QVERIFY2(showUp.wait(queuedMs), "the message waited behind the idle connections");
    idle.clear();
    QTRY_COMPARE(m_server->connectionCount(), 1);
}

QTEST_GUILESS_MAIN(TestLocalServer)
#include "tst_localserver.moc"
