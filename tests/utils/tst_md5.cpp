#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

#include "utils/Md5.h"

Q_DECLARE_METATYPE(Md5::Engine)

class TestMd5 : public QObject {
    Q_OBJECT
private slots:
    void knownDigests_data();
    void knownDigests();
    void agreesWithQtWhateverTheChunks_data();
    void agreesWithQtWhateverTheChunks();
};

namespace {

void addEngineColumns()
{
    QTest::addColumn<Md5::Engine>("engine");
}

QString engineName(Md5::Engine engine)
{
    return engine == Md5::Engine::Avx512 ? "avx512" : "portable";
}

} // namespace

void TestMd5::knownDigests_data()
{
    addEngineColumns();
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("digest");
    // The test suite of the algorithm's definition.
    const QList<QPair<QByteArray, QString>> cases = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
            "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (Md5::Engine engine : {Md5::Engine::Portable, Md5::Engine::Avx512}) {
        for (const auto& c : cases)
            QTest::addRow("%s, %d bytes", qPrintable(engineName(engine)), c.first.size())
                << engine << c.first << c.second;
    }
}

// Pins: a wrong constant, rotation, message word or truth table in either engine.
void TestMd5::knownDigests()
{
    QFETCH(Md5::Engine, engine);
    QFETCH(QByteArray, input);
    QFETCH(QString, digest);
    if (!Md5::isSupported(engine))
        QSKIP("this processor does not run the engine");
    Md5 md5(engine);
    md5.addData(input);
    QCOMPARE(md5.hexResult(), digest);
    md5.addData(input); // the digest started afresh
    QCOMPARE(md5.hexResult(), digest);
}

void TestMd5::agreesWithQtWhateverTheChunks_data()
{
    addEngineColumns();
    QTest::newRow("portable") << Md5::Engine::Portable;
    QTest::newRow("avx512") << Md5::Engine::Avx512;
}

// Pins: bytes lost or repeated where a chunk straddles a block, padding at the lengths
// where it spills into a second block, and a length counter that wraps at 32 bits of bits.
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
