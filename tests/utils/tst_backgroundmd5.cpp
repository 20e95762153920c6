#include <QtTest>
#include <cstring>

#include "utils/BackgroundMd5.h"

class TestBackgroundMd5 : public QObject {
    Q_OBJECT
private slots:
    void digestEqualsPlainMd5OverManyBlocks();
    void destroyingWithQueuedBlocksReturns();
};

// Pins: blocks hashed out of order or a buffer handed out while still queued.
void TestBackgroundMd5::digestEqualsPlainMd5OverManyBlocks()
{
    BackgroundMd5 background(4096, 3); // a small ring, so that the producer waits often
    Md5 plain;
    qint64 total = 0;
    for (int i = 0; i < 500; ++i) {
        char* block = background.acquire();
        const qint64 size = (i * 37) % 4097; // 0 now and then: the buffer goes back unhashed
        for (qint64 k = 0; k < size; ++k)
            block[k] = char((i * 131 + k) % 251);
        plain.addData(block, size);
        background.submit(block, size);
        total += size;
    }
    QCOMPARE(background.hexResult(), plain.hexResult());
    QCOMPARE(background.hashedBytes(), 0); // the digest starts afresh
    QCOMPARE(background.hexResult(), QString("d41d8cd98f00b204e9800998ecf8427e"));
    QVERIFY(total > 0);
}

// Pins: a transfer that fails mid-way must not hang in the digest's destructor.
void TestBackgroundMd5::destroyingWithQueuedBlocksReturns()
{
    auto* background = new BackgroundMd5(1 << 20, 4);
    for (int i = 0; i < 4; ++i) {
        char* block = background->acquire();
        std::memset(block, i, 1 << 20);
        background->submit(block, 1 << 20);
    }
    delete background; // a hang here fails the test by its time limit
}

QTEST_GUILESS_MAIN(TestBackgroundMd5)
#include "tst_backgroundmd5.moc"
