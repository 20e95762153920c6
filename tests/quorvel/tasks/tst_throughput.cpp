#include <QtTest>

#include "quorvel/tasks/Throughput.h"

using Samples = QList<QPair<qint64, qint64>>; // (ms, total bytes)

// The speed a person is shown: none while the first bytes only fill buffers, then the
// rate of the last few seconds.
class TestThroughput : public QObject {
    Q_OBJECT
private slots:
    void speed_data();
    void speed();
};

void TestThroughput::speed_data()
{
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

void TestThroughput::speed()
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

QTEST_GUILESS_MAIN(TestThroughput)
#include "tst_throughput.moc"
