#include <QtTest>
#include <cstring>

#include "TestFiles.h"
#include "utils/BackgroundFileMd5.h"
#include "utils/BackgroundMd5.h"
#include "utils/BlockRing.h"
#include "utils/SharedFileMd5.h"

class TestBackgroundMd5 : public QObject {
    Q_OBJECT
private slots:
    void digestEqualsPlainMd5OverManyBlocks();
    void destroyingWithQueuedBlocksReturns();
    void fileDigestWhereverItIsTakenOver();
    void fileShorterThanAnnounced();
    void sharedBySendersOfTheSameFile();
};

// Pins: blocks hashed out of order or a buffer handed out while still queued.
void TestBackgroundMd5::digestEqualsPlainMd5OverManyBlocks()
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
void TestBackgroundMd5::destroyingWithQueuedBlocksReturns()
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
void TestBackgroundMd5::fileDigestWhereverItIsTakenOver()
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
void TestBackgroundMd5::fileShorterThanAnnounced()
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
void TestBackgroundMd5::sharedBySendersOfTheSameFile()
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

QTEST_GUILESS_MAIN(TestBackgroundMd5)
#include "tst_backgroundmd5.moc"
