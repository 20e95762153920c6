#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

#include "utils/Md5.h"

Q_DECLARE_METATYPE(Md5::Engine)

// The algorithm's own test suite, and Qt's MD5 as the independent reference: every
// length from 0 to 200 bytes and past 512 MiB, in every engine this processor runs (the
// log names them, and the one chosen for transfers).
class TestMd5 : public QObject {
    Q_OBJECT
private slots:
    void agreesWithQtWhateverTheChunks_data();
    void agreesWithQtWhateverTheChunks();
    void chosenByTiming();
};

void TestMd5::agreesWithQtWhateverTheChunks_data()
{
    QTest::addColumn<Md5::Engine>("engine");
    for (Md5::Engine engine : {Md5::Engine::OpenSsl, Md5::Engine::Portable, Md5::Engine::Avx512})
        QTest::newRow(qPrintable(Md5::nameOf(engine))) << engine;
}

// Pins: a wrong constant, rotation, message word or truth table in either engine; bytes
// lost or repeated where a chunk straddles a block; padding at the lengths where it spills
// into a second block; a digest that does not start afresh after its result; and a
// length counter that wraps at 32 bits of bits.
void TestMd5::agreesWithQtWhateverTheChunks()
{
    QFETCH(Md5::Engine, engine);
    if (!Md5::isSupported(engine))
        QSKIP("this processor does not run the engine");
    qInfo("engine run: %s", qPrintable(Md5::nameOf(engine)));
    const QList<QPair<QByteArray, QString>> suite{{"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"}, {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
            "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& vector : suite) {
        Md5 one(engine);
        one.addData(vector.first);
        QCOMPARE(one.hexResult(), vector.second);
    }
    QRandomGenerator random(20261206);
    QByteArray data(1 << 20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);

    Md5 md5(engine);
    QList<int> lengths;
    for (int n = 0; n <= 200; ++n)
        lengths << n;
    lengths << 4095 << 4096 << 65537 << data.size();
    for (int length : lengths) {
        int offset = 0;
        while (offset < length) { // uneven chunks, some of them empty
            const int chunk = qMin(length - offset, int(random.bounded(length < 300 ? 70 : 100000)));
            md5.addData(data.constData() + offset, chunk);
            offset += chunk;
        }
        const QByteArray part = data.left(length);
        QCOMPARE(md5.hexResult(), QString::fromLatin1(QCryptographicHash::hash(part, QCryptographicHash::Md5).toHex()));
    }

    // Past 512 MiB the length in bits no longer fits 32 bits.
    QCryptographicHash reference(QCryptographicHash::Md5);
    for (int i = 0; i < 513; ++i) {
        md5.addData(data);
        reference.addData(data);
    }
    md5.addData(data.constData(), 77);
    reference.addData(data.constData(), 77);
    QCOMPARE(md5.hexResult(), QString::fromLatin1(reference.result().toHex()));
}

// Pins a choice made by the processor's flags, or one that takes our engine for a lead
// too small to be more than noise.
void TestMd5::chosenByTiming()
{
    const QList<Md5::Trial> trials = Md5::trials();
    double openSsl = 0;
    double ours = 0;
    Md5::Engine fastestOurs = Md5::Engine::Portable;
    for (const Md5::Trial& t : trials) {
        qInfo("engine timed: %s %.0f MB/s", qPrintable(Md5::nameOf(t.engine)), t.megabytesPerSecond);
        if (t.engine == Md5::Engine::OpenSsl)
            openSsl = t.megabytesPerSecond;
        else if (t.megabytesPerSecond > ours) {
            ours = t.megabytesPerSecond;
            fastestOurs = t.engine;
        }
    }
    qInfo("engine chosen: %s", qPrintable(Md5::nameOf(Md5::chosenEngine())));
    QVERIFY(openSsl > 0 && ours > 0);
    QCOMPARE(trials.size(), Md5::isSupported(Md5::Engine::Avx512) ? 3 : 2);
    QCOMPARE(Md5::chosenEngine(), ours >= 1.1 * openSsl ? fastestOurs : Md5::Engine::OpenSsl);
}

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
