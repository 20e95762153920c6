#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

#include "utils/Md5.h"

Q_DECLARE_METATYPE(Md5::Engine)

// Qt's MD5 is the independent reference: every length from 0 to 200 bytes (the
// algorithm's own test inputs among them) and past 512 MiB, in both engines.
class TestMd5 : public QObject {
    Q_OBJECT
private slots:
    void agreesWithQtWhateverTheChunks_data();
    void agreesWithQtWhateverTheChunks();
};

void TestMd5::agreesWithQtWhateverTheChunks_data()
{
    QTest::addColumn<Md5::Engine>("engine");
    QTest::newRow("portable") << Md5::Engine::Portable;
    QTest::newRow("avx512") << Md5::Engine::Avx512;
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

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
