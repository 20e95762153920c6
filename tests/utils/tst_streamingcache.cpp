#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "TestFiles.h"
#include "utils/StreamingCache.h"

using TestFiles::residentShare;

class TestStreamingCache : public QObject {
    Q_OBJECT
private slots:
    void writtenStretchesLeaveTheCacheIntact();
};

// Pins: a long download filled the page cache with its whole file (and on some machines
// every fresh page costs several times the copy).
void TestStreamingCache::writtenStretchesLeaveTheCacheIntact()
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

QTEST_GUILESS_MAIN(TestStreamingCache)
#include "tst_streamingcache.moc"
