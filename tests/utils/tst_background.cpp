#include <QTemporaryDir>
#include <QtTest>
#include <cstring>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "TestFiles.h"
#include "utils/BackgroundFileMd5.h"
#include "utils/BackgroundFileWriter.h"
#include "utils/BackgroundMd5.h"
#include "utils/BlockRing.h"
#include "utils/Md5.h"
#include "utils/SharedFileMd5.h"
#include "utils/StreamingCache.h"

Q_DECLARE_METATYPE(Md5::Engine)

using TestFiles::residentShare;

namespace {
constexpr qint64 Block = 262144;
constexpr qint64 Long = 256 * Block; // a long download's worth
} // namespace

// Qt's MD5 as the independent reference: every length from 0 to 200 bytes and past 512
// MiB, in every engine this processor runs (the log names them, and the one chosen for
// transfers); and the digests made beside a transfer, on a thread of their own. Then the
// writer that lands a download on the disk beside it.
class TestBackground : public QObject {
    Q_OBJECT
private slots:
    void agreesWithQtWhateverTheChunks_data();
    void agreesWithQtWhateverTheChunks();
    void chosenByTiming();
    void digestEqualsPlainMd5OverManyBlocks();
    void fileDigestWhereverItIsTakenOver();
    void sharedBySendersOfTheSameFile();
    void streamLandsWholeWhereverItStarts();
    void failedWriteIsReportedAndFreesTheRing();
    void writtenStretchesLeaveTheCacheIntact();
};

void TestBackground::agreesWithQtWhateverTheChunks_data()
{
    QTest::addColumn<Md5::Engine>("engine");
    for (Md5::Engine engine : {Md5::Engine::OpenSsl, Md5::Engine::Portable, Md5::Engine::Avx512})
        QTest::newRow(qPrintable(Md5::nameOf(engine))) << engine;
}

// Pins: a wrong constant, rotation, message word or truth table in either engine; bytes
// lost or repeated where a chunk straddles a block; padding at the lengths where it spills
// into a second block; a digest that does not start afresh after its result; and a
// length counter that wraps at 32 bits of bits.
void TestBackground::agreesWithQtWhateverTheChunks()
{
    QFETCH(Md5::Engine, engine);
    if (!Md5::isSupported(engine))
        QSKIP("this processor does not run the engine");
    qInfo("engine run: %s", qPrintable(Md5::nameOf(engine)));
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
void TestBackground::chosenByTiming()
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

// Pins: blocks hashed out of order, a buffer handed out while still queued, and a digest
// destroyed with blocks queued that hangs or keeps buffers.
void TestBackground::digestEqualsPlainMd5OverManyBlocks()
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

    // A transfer that fails mid-way must not hang in the digest's destructor.
    BlockRing large(1 << 20, 4);
    auto* dropped = new BackgroundMd5(large);
    for (int i = 0; i < 4; ++i) {
        char* block = large.acquire(1);
        std::memset(block, i, 1 << 20);
        dropped->submit(block, 1 << 20);
    }
    delete dropped; // a hang here fails the test by its time limit
    for (int i = 0; i < 4; ++i)
        large.acquire(1); // every buffer came back, hashed or dropped
}

// Pins: the caller taking over mid-file skipping or repeating a block; a file shorter
// than announced; a digest destroyed unasked that reads on.
void TestBackground::fileDigestWhereverItIsTakenOver()
{
    QTemporaryDir dir;
    const QString path = TestFiles::patterned(dir.path() + "/f.bin", 3 * 1024 * 1024 + 123);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
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
    // A file that shrank after its size was announced fails, rather than digest less.
    BackgroundFileMd5 longer(file.handle(), file.size() + 1);
    QCOMPARE(longer.hexResult(), QString());
    QCOMPARE(longer.errorString(), QString("The file ended before the announced size"));
    // Destroyed before anyone asked, with most of a large file left: returns at once.
    QVERIFY(file.resize(1 << 30)); // sparse
    delete new BackgroundFileMd5(file.handle(), 1 << 30); // a hang here fails the test by its time limit
}

// Pins: the same file sent to several devices at once hashed once per device; a sender
// that ends first taking the digest's descriptor from the others.
void TestBackground::sharedBySendersOfTheSameFile()
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

// Pins: a byte lost or misplaced at an unaligned start after a resumption or at the
// tail; a long stream written straight to the disk, which paces the transfer at the
// disk's speed (its pages would not be in the cache).
void TestBackground::streamLandsWholeWhereverItStarts()
{
    QTemporaryDir dir(QDir::currentPath() + "/writer-XXXXXX");
    const struct {
        qint64 start;
        qint64 end;
    } cases[] = {
        {0, Long + 3 * Block + 1000}, // aligned from the start, odd tail
        {123457, Long + 5 * Block}, // resumed mid-block
        {0, 100000}, // short
    };
    for (const auto& c : cases) {
        const QString expected = TestFiles::patterned(dir.path() + "/expected.bin", c.end);
        // What an earlier connection left.
        const QString path = TestFiles::patterned(dir.path() + "/stream.bin", c.start);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        {
            BlockRing ring(Block, 3);
            BackgroundFileWriter writer(ring, file.handle());
            for (qint64 position = c.start; position < c.end;) {
                const qint64 size = qMin(Block - position % Block, c.end - position);
                char* block = ring.acquire(1);
                for (qint64 i = 0; i < size; ++i)
                    block[i] = char((position + i) * 31 % 251);
                writer.submit(block, size, position);
                position += size;
            }
            QVERIFY(writer.finish());
        }
        const qint64 tailFrom = qMax(c.start, c.end - 8 * Block) / 4096 * 4096; // mapped from a page
        QVERIFY(TestFiles::residentShare(file.handle(), tailFrom, c.end - tailFrom) > 0.9);
        file.close();
        QCOMPARE(QFileInfo(path).size(), c.end);
        QCOMPARE(TestFiles::md5Of(path), TestFiles::md5Of(expected));
    }
}

// Pins: a failed write hanging the transfer on a ring whose buffers never come back, or
// passing unnoticed.
void TestBackground::failedWriteIsReportedAndFreesTheRing()
{
    QTemporaryDir dir;
    QFile file(TestFiles::patterned(dir.path() + "/read-only.bin", 10));
    QVERIFY(file.open(QIODevice::ReadOnly));
    BlockRing ring(4096, 2);
    BackgroundFileWriter writer(ring, file.handle());
    for (int i = 0; i < 20; ++i) // a hang here fails the test by its time limit
        writer.submit(ring.acquire(1), 4096, i * 4096);
    QVERIFY(!writer.finish());
    QVERIFY(writer.failed());
    QVERIFY(!writer.errorString().isEmpty());
    QCOMPARE(file.size(), 10);
}

// Pins: a long download filled the page cache with its whole file (and on some machines
// every fresh page costs several times the copy).
void TestBackground::writtenStretchesLeaveTheCacheIntact()
{
    QTemporaryDir dir(QDir::currentPath() + "/cache-XXXXXX");
    struct statfs fs;
    QCOMPARE(::statfs(qPrintable(dir.path()), &fs), 0);
    if (fs.f_type == TMPFS_MAGIC)
        QSKIP("tmpfs keeps its pages: nothing can be dropped");
    const QString path = dir.path() + "/stream.bin";
    const int fd = ::open(qPrintable(path), O_CREAT | O_RDWR | O_TRUNC, 0600);
    QVERIFY(fd >= 0);
    const qint64 total = StreamingCache::Lag + 4 * StreamingCache::Stretch;
    QByteArray block(262144, Qt::Uninitialized);
    StreamingCache cache(fd, 0, StreamingCache::Writing);
    for (qint64 written = 0; written < total; written += block.size()) {
        for (int i = 0; i < block.size(); i += 4096)
            block[i] = char((written + i) / 4096);
        QCOMPARE(::pwrite(fd, block.constData(), size_t(block.size()), off_t(written)), ssize_t(block.size()));
        cache.advance(written + block.size());
    }
    QVERIFY(residentShare(fd, 0, StreamingCache::Stretch) < 0.1);
    QVERIFY(residentShare(fd, total - StreamingCache::Stretch, StreamingCache::Stretch) > 0.9);
    // Dropped pages come back from the disk intact.
    char first = 1, late = 1;
    QCOMPARE(::pread(fd, &first, 1, 4096 * 3), ssize_t(1));
    QCOMPARE(::pread(fd, &late, 1, off_t(total - 4096)), ssize_t(1));
    QCOMPARE(first, char(3));
    QCOMPARE(late, char((total - 4096) / 4096));

    // Reading: the stretches passed are dropped as well.
    StreamingCache reading(fd, 0, StreamingCache::Reading);
    for (qint64 read = 0; read < total; read += block.size()) {
        QCOMPARE(::pread(fd, block.data(), size_t(block.size()), off_t(read)), ssize_t(block.size()));
        reading.advance(read + block.size());
    }
    QVERIFY(residentShare(fd, StreamingCache::Stretch, StreamingCache::Stretch) < 0.1);
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestBackground)
#include "tst_background.moc"
