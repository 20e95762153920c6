#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtTest>
#include <atomic>

#include "Watchdog.h"
#include "quorvel/server/OfferedFiles.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/server/ServingSessions.h"

// Replies leave from the listening socket, and a listener stops promptly while pool
// threads keep replying through it.
class TestOperateListener : public QObject {
    Q_OBJECT
private slots:
    void repliesRacingAStopNeverHang();
};

void TestOperateListener::repliesRacingAStopNeverHang()
{
    QUdpSocket peer;
    QVERIFY(peer.bind(QHostAddress::LocalHost, 0));
    const QByteArray reply("{\"result\":\"ok\"}");
    ServingSessions sessions;
    OfferedFiles offers;
    for (int round = 0; round < 20; ++round) {
        QThreadPool pool;
        pool.setMaxThreadCount(4);
        auto* listener = new OperateListener(sessions, offers, pool);
        // Said on the listener's thread: taken here, on this one (a spy would be written
        // by both).
        bool listening = false;
        QObject here;
        connect(
            listener, &OperateListener::listening, &here, [&] { listening = true; }, Qt::QueuedConnection);
        listener->start();
        QTRY_VERIFY_WITH_TIMEOUT(listening, 5000);

        // The party takes replies only from the operation port.
        pool.start([&] { listener->sendReply(reply, QHostAddress::LocalHost, peer.localPort()); });
        QVERIFY(peer.hasPendingDatagrams() || peer.waitForReadyRead(3000));
        const QNetworkDatagram first = peer.receiveDatagram();
        QCOMPARE(first.data(), reply);
        QCOMPARE(first.senderPort(), int(OperateListener::Port));

        std::atomic<bool> stop{false};
        for (int t = 0; t < 4; ++t) {
            pool.start([&] {
                while (!stop)
                    listener->sendReply(reply, QHostAddress::LocalHost, peer.localPort());
            });
        }
        {
            Watchdog dog(5000, "stopping the listener while replies are sent");
            listener->stop();
        }
        QCOMPARE(listener->sendReply(reply, QHostAddress::LocalHost, peer.localPort()), qint64(-1));
        stop = true;
        QVERIFY(pool.waitForDone(5000));
        delete listener;
        while (peer.hasPendingDatagrams())
            peer.receiveDatagram();
    }
}

QTEST_GUILESS_MAIN(TestOperateListener)
#include "tst_operatelistener.moc"
