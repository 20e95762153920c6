#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "TestFiles.h"
#include "utils/BackgroundFileWriter.h"
#include "utils/BlockRing.h"
#include "utils/StreamingCache.h"

using TestFiles::residentShare;

namespace {
constexpr qint64 Block = 262144;
constexpr qint64 Long = 256 * Block; // a long download's worth
} // namespace

class TestBackgroundFileWriter : public QObject {
    Q_OBJECT
private slots:
    void streamLandsWholeWhereverItStarts();
    void failedWriteIsReportedAndFreesTheRing();
    void writtenStretchesLeaveTheCacheIntact();
};

// Pins: a byte lost or misplaced at an unaligned start after a resumption or at the
// tail; a long stream written straight to the disk, which paces the transfer at the
// disk's speed (its pages would not be in the cache).
void TestBackgroundFileWriter::streamLandsWholeWhereverItStarts()
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
void TestBackgroundFileWriter::failedWriteIsReportedAndFreesTheRing()
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
void TestBackgroundFileWriter::writtenStretchesLeaveTheCacheIntact()
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

QTEST_GUILESS_MAIN(TestBackgroundFileWriter)
#include "tst_backgroundfilewriter.moc"
