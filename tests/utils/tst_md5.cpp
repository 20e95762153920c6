#include <QtTest>
#include <cstring>

#include "TestFiles.h"
#include "utils/BackgroundFileMd5.h"
#include "utils/BackgroundMd5.h"
#include "utils/BlockRing.h"
#include "utils/Md5.h"
#include "utils/SharedFileMd5.h"

Q_DECLARE_METATYPE(Md5::Engine)

// The algorithm's own test suite, and Qt's MD5 as the independent reference: every
// length from 0 to 200 bytes and past 512 MiB, in every engine this processor runs (the
// log names them, and the one chosen for transfers); and the digests made beside a
// transfer, on a thread of their own.
class TestMd5 : public QObject {
    Q_OBJECT
private slots:
    void agreesWithQtWhateverTheChunks_data();
    void agreesWithQtWhateverTheChunks();
    void chosenByTiming();
    void digestEqualsPlainMd5OverManyBlocks();
    void destroyingWithQueuedBlocksReturns();
    void fileDigestWhereverItIsTakenOver();
    void fileShorterThanAnnounced();
    void sharedBySendersOfTheSameFile();
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

// Pins: blocks hashed out of order or a buffer handed out while still queued.
void TestMd5::digestEqualsPlainMd5OverManyBlocks()
{
    BlockRing ring(4096, 3); // a small ring, so that the producer waits often
    BackgroundMd5 background(ring);
    Md5 plain;
    for (int i = 0; i < 500; ++i) {
        char* block = ring.acquire(1);
        const qint64 size = (i * 37) % 4097; // 0 now and then: the buffer goes back unhashed
        for (qint64 k = 0; k < size; ++k)
            block[k] = char((i * 131 + k) % 251);
        plain.addData(block, size);
        background.submit(block, size);
    }
    QCOMPARE(background.hexResult(), plain.hexResult());
    QCOMPARE(background.hexResult(), QString("d41d8cd98f00b204e9800998ecf8427e")); // afresh
}

// Pins: a transfer that fails mid-way must not hang in the digest's destructor.
void TestMd5::destroyingWithQueuedBlocksReturns()
{
    BlockRing ring(1 << 20, 4);
    auto* background = new BackgroundMd5(ring);
    for (int i = 0; i < 4; ++i) {
        char* block = ring.acquire(1);
        std::memset(block, i, 1 << 20);
        background->submit(block, 1 << 20);
    }
    delete background; // a hang here fails the test by its time limit
    for (int i = 0; i < 4; ++i)
        ring.acquire(1); // every buffer came back, hashed or dropped
}

// Pins: the caller taking over mid-file skipping or repeating a block.
void TestMd5::fileDigestWhereverItIsTakenOver()
{
    QTemporaryDir dir;
    const QString path = TestFiles::patterned(dir.path() + "/f.bin", 3 * 1024 * 1024 + 123);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString expected = TestFiles::md5Of(path);
    {
        BackgroundFileMd5 digest(file.handle(), file.size());
        QCOMPARE(digest.hexResult(), expected); // at once: the caller hashes most of it
        QCOMPARE(digest.hexResult(), expected); // asked again: the same, nothing re-read
    }
    {
        BackgroundFileMd5 digest(file.handle(), file.size());
        QTRY_COMPARE_WITH_TIMEOUT(digest.hashedBytes(), file.size(), 20000);
        QCOMPARE(digest.hexResult(), expected); // the background thread did it all
    }
    QCOMPARE(file.pos(), 0); // pread: the descriptor's offset is untouched
    BackgroundFileMd5 empty(file.handle(), 0);
    QCOMPARE(empty.hexResult(), QString("d41d8cd98f00b204e9800998ecf8427e"));
}

// Pins: a file that shrank after its size was announced must fail, not digest less.
void TestMd5::fileShorterThanAnnounced()
{
    QTemporaryDir dir;
    QFile file(TestFiles::patterned(dir.path() + "/short.bin", 100000));
    QVERIFY(file.open(QIODevice::ReadWrite));
    BackgroundFileMd5 digest(file.handle(), 100001);
    QCOMPARE(digest.hexResult(), QString());
    QCOMPARE(digest.errorString(), QString("The file ended before the announced size"));
    // Destroyed before anyone asked, with most of a large file left: returns at once.
    QVERIFY(file.resize(1 << 30)); // sparse
    auto* unasked = new BackgroundFileMd5(file.handle(), 1 << 30);
    delete unasked; // a hang here fails the test by its time limit
}

// Pins: the same file sent to several devices at once hashed once per device; a sender
// that ends first taking the digest's descriptor from the others.
void TestMd5::sharedBySendersOfTheSameFile()
{
    QTemporaryDir dir;
    const QString path = TestFiles::patterned(dir.path() + "/f.bin", 2 * 1024 * 1024 + 7);
    const QString other = TestFiles::patterned(dir.path() + "/g.bin", 2 * 1024 * 1024 + 7);
    auto first = std::make_unique<QFile>(path);
    QFile second(path), third(other);
    QVERIFY(first->open(QIODevice::ReadOnly) && second.open(QIODevice::ReadOnly) && third.open(QIODevice::ReadOnly));
    std::shared_ptr<SharedFileMd5> a = SharedFileMd5::of(first->handle(), first->size());
    const std::shared_ptr<SharedFileMd5> b = SharedFileMd5::of(second.handle(), second.size());
    QVERIFY(a && a == b);
    QVERIFY(SharedFileMd5::of(second.handle(), 100) != b); // another length, another digest
    QVERIFY(SharedFileMd5::of(third.handle(), third.size()) != b); // another file
    first.reset(); // the first sender's file closed, its share dropped
    a.reset();
    QCOMPARE(b->hexResult(), TestFiles::md5Of(path));
    QCOMPARE(b->hexResult(), TestFiles::md5Of(path));
}

QTEST_GUILESS_MAIN(TestMd5)
#include "tst_md5.moc"
