#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include "LocalServer.h"

// The local channel's framing: one read is one message, text up to the first NUL, and
// only an exact "CMD:showUp" shows the window.
class TestLocalServer : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void showUpCommand();
    void framingCases();
    void staleSocketFileDoesNotBlock();

private:
    bool send(const QByteArray& bytes);
    QString m_name;
    LocalServer* m_server = nullptr;
    QLocalSocket* m_socket = nullptr;
};

void TestLocalServer::init()
{
    m_name = QStringLiteral("tstlocalserver%1%2")
                 .arg(QCoreApplication::applicationPid())
                 .arg(QRandomGenerator::global()->generate());
}

void TestLocalServer::cleanup()
{
    delete m_socket;
    m_socket = nullptr;
    delete m_server;
    m_server = nullptr;
}

bool TestLocalServer::send(const QByteArray& bytes)
{
    if (!m_socket) {
        m_socket = new QLocalSocket;
        m_socket->connectToServer(m_name);
        // The listener may still be starting: retry for a bounded time.
        QDeadlineTimer deadline(5000);
        while (!m_socket->waitForConnected(100) && !deadline.hasExpired())
            m_socket->connectToServer(m_name);
        if (m_socket->state() != QLocalSocket::ConnectedState)
            return false;
    }
    m_socket->write(bytes);
    return m_socket->waitForBytesWritten(2000);
}

void TestLocalServer::showUpCommand()
{
    m_server = new LocalServer(m_name);
    m_server->start();
    QSignalSpy showUp(m_server, &LocalServer::showUp);
    QVERIFY(send("CMD:showUp"));
    QVERIFY(showUp.count() || showUp.wait(5000));
    QCOMPARE(showUp.count(), 1);

    // Text after a NUL byte is not part of the message.
    QVERIFY(send(QByteArray("CMD:showUp\0junk", 15)));
    QVERIFY(showUp.wait(5000));
    QCOMPARE(showUp.count(), 2);
}

void TestLocalServer::framingCases()
{
    m_server = new LocalServer(m_name);
    m_server->start();
    QSignalSpy raw(m_server, &LocalServer::privateDataReceived);
    QSignalSpy data(m_server, &LocalServer::dataReceived);
    QSignalSpy showUp(m_server, &LocalServer::showUp);
    const auto roundTrip = [&](const QByteArray& bytes) {
        const int before = raw.count();
        return send(bytes) && (raw.count() > before || raw.wait(5000));
    };

    QVERIFY(roundTrip("showUp")); // no prefix: plain data
    QTRY_COMPARE(data.count(), 1);
    QCOMPARE(data.at(0).at(0).toString(), QString("showUp"));

    QVERIFY(roundTrip("CMD:sh")); // split over two reads
    QVERIFY(roundTrip("owUp"));
    QVERIFY(roundTrip("CMD:showUpCMD:showUp")); // two in one read
    QVERIFY(roundTrip("CMD:showup")); // case-sensitive
    QVERIFY(roundTrip("xCMD:showUp")); // "CMD:" anywhere, first four characters dropped
    QVERIFY(roundTrip("CMD:hide"));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(showUp.count(), 0);
    QCOMPARE(data.count(), 2); // "showUp" and "owUp"
    QCOMPARE(data.at(1).at(0).toString(), QString("owUp"));

    QVERIFY(roundTrip("CMD:showUp"));
    QVERIFY(showUp.count() || showUp.wait(5000));
    QCOMPARE(showUp.count(), 1);
}

void TestLocalServer::staleSocketFileDoesNotBlock()
{
    // What a crashed client leaves behind: the socket's file without a listener.
    QFile stale(QDir::tempPath() + "/" + m_name);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    m_server = new LocalServer(m_name);
    m_server->start();
    QSignalSpy showUp(m_server, &LocalServer::showUp);
    QVERIFY(send("CMD:showUp"));
    QVERIFY(showUp.count() || showUp.wait(5000));
}

QTEST_GUILESS_MAIN(TestLocalServer)
#include "tst_localserver.moc"
