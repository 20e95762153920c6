#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <sys/socket.h>
#include <unistd.h>

#include "TestFiles.h"
#include "utils/TcpStream.h"

// The peer is a QTcpServer on this test's event loop; the stream's blocking calls run on
// a helper thread so that the loop keeps serving the peer.
class TestTcpStream : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(m_server.listen(QHostAddress::LocalHost)); }
    void shortfallThenTimeoutThenClose();
    void sendFileSendsTheRangeAndRefusesPipes();
    void refusedOrResetPeerFailsCleanly();

private:
    // Connects the stream to the peer server; the peer's end, or null.
    QTcpSocket* connectPeer(TcpStream& stream, int timeoutMs = 2000)
    {
        if (!stream.connectTo(QHostAddress::LocalHost, m_server.serverPort(), 2000))
            return nullptr;
        stream.setTimeout(timeoutMs);
        if (!m_server.hasPendingConnections() && !m_server.waitForNewConnection(5000))
            return nullptr;
        return m_server.nextPendingConnection();
    }
    template <typename F> void onThread(F f)
    {
        QThread* t = QThread::create(f);
        t->start();
        QTRY_VERIFY_WITH_TIMEOUT(t->isFinished(), 10000);
        delete t;
    }
    QTcpServer m_server;
};

void TestTcpStream::shortfallThenTimeoutThenClose()
{
    TcpStream stream;
    QTcpSocket* peer = connectPeer(stream, 200);
    QVERIFY(peer);
    peer->write("0123456789");
    peer->flush();
    char buffer[100];
    qint64 first = -2, second = -2, third = -2;
    bool timedOut = false;
    QString error;
    onThread([&] {
        first = stream.readFull(buffer, sizeof buffer); // 10 bytes, then the timeout
        second = stream.readFull(buffer, sizeof buffer);
        timedOut = stream.timedOut();
        error = stream.errorString();
    });
    QCOMPARE(first, 10);
    QCOMPARE(QByteArray(buffer, 10), QByteArray("0123456789"));
    QCOMPARE(second, -1);
    QVERIFY(timedOut);
    QCOMPARE(error, QString("Socket operation timed out"));
    peer->disconnectFromHost();
    onThread([&] { third = stream.readSome(buffer, sizeof buffer); });
    QCOMPARE(third, 0);
    QVERIFY(!stream.wasReset()); // a clean close: the peer read what it wanted
    delete peer;

    TcpStream dropped;
    peer = connectPeer(dropped);
    QVERIFY(peer);
    QVERIFY(!dropped.wasReset()); // open and quiet
    const linger hard{1, 0}; // close with a reset, as a peer that drops unread bytes does
    QCOMPARE(::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard), 0);
    peer->abort();
    QTRY_VERIFY_WITH_TIMEOUT(dropped.wasReset(), 5000);
    delete peer;
}

void TestTcpStream::sendFileSendsTheRangeAndRefusesPipes()
{
    QTemporaryDir dir;
    QFile file(TestFiles::patterned(dir.filePath("f.bin"), 300000));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.peek(300000);

    TcpStream stream;
    QTcpSocket* peer = connectPeer(stream);
    QVERIFY(peer);
    TcpStream::SendFile sent = TcpStream::SendFile::Failed;
    onThread([&] { sent = stream.sendFile(file.handle(), 1000, 250000); });
    QCOMPARE(int(sent), int(TcpStream::SendFile::Sent));
    QCOMPARE(TestFiles::readUntil(*peer, 250000), content.mid(1000, 250000));

    // A file that ends before the block does is the file's failure, not the connection's.
    bool blockSent = true;
    onThread([&] { blockSent = stream.sendFileBlock(file.handle(), 299000, 2000); });
    QVERIFY(!blockSent);
    QVERIFY(stream.fileFailed());
    QCOMPARE(stream.errorString(), QString("The file ended before the announced size"));

    int pipeEnds[2];
    QCOMPARE(::pipe(pipeEnds), 0);
    QCOMPARE(::write(pipeEnds[1], "abc", 3), ssize_t(3));
    QCOMPARE(int(stream.sendFile(pipeEnds[0], 0, 3)), int(TcpStream::SendFile::Unsupported));
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    delete peer;
}

// Pins: a write to a peer that reset the connection raised SIGPIPE and killed the process.
void TestTcpStream::refusedOrResetPeerFailsCleanly()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    TcpStream refused;
    QVERIFY(!refused.connectTo(QHostAddress::LocalHost, port, 2000));
    QVERIFY(!refused.timedOut() && !refused.isOpen() && !refused.errorString().isEmpty());

    TcpStream stream;
    QTcpSocket* peer = connectPeer(stream);
    QVERIFY(peer);
    peer->abort();
    delete peer;
    QTemporaryFile file;
    QVERIFY(file.open());
    file.write(QByteArray(1 << 20, 'x'));
    file.flush();
    bool wrote = true;
    TcpStream::SendFile sent = TcpStream::SendFile::Sent;
    onThread([&] {
        const QByteArray block(1 << 20, 'y');
        for (int i = 0; i < 64 && wrote; ++i)
            wrote = stream.writeAll(block.constData(), block.size());
        sent = stream.sendFile(file.handle(), 0, 1 << 20);
    });
    QVERIFY(!wrote);
    QCOMPARE(int(sent), int(TcpStream::SendFile::Failed));
    QCOMPARE(stream.errorString(), QString("The remote host closed the connection"));
}

QTEST_GUILESS_MAIN(TestTcpStream)
#include "tst_tcpstream.moc"
