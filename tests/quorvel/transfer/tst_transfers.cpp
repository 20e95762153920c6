#include <QtTest>

#include "DeviceProcess.h"
#include "ScopedTiming.h"
#include "TestFiles.h"
#include "app/AppContext.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/transfer/FileTransferServer.h"

// Uploads and downloads through the transfer queue against the simulated device, honest
// and lying: what arrives, what the device was asked, and how each transfer ended.
class TestTransfers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void transfers_data();
    void transfers();
    void uploadsRunOneAfterAnother();
    void lyingDevices_data();
    void lyingDevices();
    void largerThanFourGiB();

private:
    struct Run {
        QList<ProgressContent> reports; // in arrival order, the final ones included
        TaskOutcome outcome; // the last transfer's
        ProgressContent last() const { return reports.isEmpty() ? ProgressContent() : reports.last(); }
    };
    // Waits, with a bound, until the transfers ended.
    Run finish(const QList<int>& ids, int timeoutMs);
    Run upload(const QStringList& files, const QString& address, bool secure = false, int timeoutMs = 60000)
    {
        m_relayed = 0;
        return finish(m_context->transfers()->upload(files, DeviceProcess::serverAt(address), secure), timeoutMs);
    }
    Run download(const QString& remote, const QString& local, const QString& address, int timeoutMs = 60000)
    {
        return finish(
            {m_context->transfers()->download(remote, local, DeviceProcess::serverAt(address), 1234)}, timeoutMs);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    QList<ProgressContent> m_reports;
    QHash<int, TaskOutcome> m_outcomes;
    int m_relayed = 0; // upload reports that the upload service passed on
};

void TestTransfers::initTestCase()
{
    m_context = std::make_unique<AppContext>(m_dir.path());
    Timing t;
    // A device slowed down by a sanitizer may write its last bytes late: 2 s of polls.
    t.statusPollIntervalMs = 200;
    t.uploadReplyWaitMs = 1000;
    t.uploadTcpWaitMs = 1000;
    t.downloadReplyWaitMs = 1000;
    t.downloadTcpWaitMs = 300;
    Timing::setForTests(t);
    TransferQueue* queue = m_context->transfers();
    connect(queue, &TransferQueue::progress, this, [this](const ProgressContent& p) { m_reports.append(p); });
    connect(queue, &TransferQueue::transferEnded, this, [this](const ProgressContent& p, const TaskOutcome& o) {
        m_reports.append(p);
        m_outcomes.insert(p.id, o);
    });
    connect(m_context->uploads(), &FileTransferServer::uploadProgress, this, [this] { ++m_relayed; });
}

TestTransfers::Run TestTransfers::finish(const QList<int>& ids, int timeoutMs)
{
    const auto ended
        = [&] { return std::all_of(ids.begin(), ids.end(), [this](int id) { return m_outcomes.contains(id); }); };
    QSignalSpy spy(m_context->transfers(), &TransferQueue::transferEnded);
    QDeadlineTimer deadline(timeoutMs);
    while (!ended() && !deadline.hasExpired())
        spy.wait(int(qMax<qint64>(1, deadline.remainingTime())));
    Run run;
    for (const ProgressContent& p : qAsConst(m_reports)) {
        if (ids.contains(p.id))
            run.reports.append(p);
    }
    run.outcome = ended() ? m_outcomes.value(ids.last()) : TaskOutcome::failure("not ended in time");
    return run;
}

void TestTransfers::transfers_data()
{
    QTest::addColumn<bool>("sending");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("name");
    QTest::addColumn<qint64>("size"); // -1: the device's own small readme.txt
    QTest::addColumn<bool>("secure");
    QTest::addColumn<qint64>("cut"); // where the device breaks the connection, 0: never
    QTest::addColumn<int>("queries"); // status queries expected, -1: any
    const auto row = [](const char* tag, bool sending, const QString& address, const QString& name, qint64 size,
                         qint64 cut = 0, const QStringList& options = {}, int queries = -1, bool secure = false) {
        const QStringList cutting = cut ? QStringList{"--cut-after", QString::number(cut)} : QStringList();
        QTest::newRow(tag) << sending << QStringList{"--address", address, "--no-mdns"} + cutting + options << name
                           << size << secure << cut << queries;
    };
    row("upload: unicode name", true, "127.0.0.2", QString::fromUtf8("季度 报告.bin"), 3 * 1024 * 1024 + 17);
    row("upload: secure area", true, "127.0.0.3", "Plan.pdf", 5000, 0, {}, -1, true);
    row("upload: empty", true, "127.0.0.4", "empty.txt", 0);
    // The large file is still going out when the device breaks the connection. The small
    // one has all left into the kernel's buffers by then: the device drops it while it is
    // asked for its status (pins an upload that took "handed to the kernel" for "arrived"
    // and asked until it gave up).
    row("upload: cut while streaming", true, "127.0.0.5", "10m.bin", 10 << 20, 4194304);
    row("upload: cut after the last byte left", true, "127.0.0.6", "1m.bin", 1 << 20, 419430);
    row("upload: status not complete three times", true, "127.0.0.7", "poll.bin", 1000, 0, {"--not-complete", "3"}, 4);
    row("download: small, in one read", false, "127.0.0.10", "readme.txt", -1);
    row("download: empty", false, "127.0.0.11", "empty", 0);
    row("download: resumed after a cut", false, "127.0.0.12", "8m.bin", 8 << 20, 2516582);
    // All bytes came: without an explicit failure the download counts as done.
    row("download: no status replies", false, "127.0.0.15", "readme.txt", -1, 0, {"--ignore", "query_result"}, 10);
}

void TestTransfers::transfers()
{
    QFETCH(bool, sending);
    QFETCH(QStringList, options);
    QFETCH(QString, name);
    QFETCH(qint64, size);
    QFETCH(bool, secure);
    QFETCH(qint64, cut);
    QFETCH(int, queries);
    QUORVEL_DEVICE(d, options);
    const QString remote = !sending ? "/Quorvel/" + name
        : secure                    ? "secure:/" + name
                                    : QString::fromUtf8("/QuorVEL/上传/") + name;
    const QString stored = secure ? d.secureFolder() + "/" + name
                                  : d.folder() + (sending ? QString::fromUtf8("/Quorvel/上传/") : "/Quorvel/") + name;
    const QString local = m_dir.path() + "/" + name;
    QVERIFY(size < 0 || !TestFiles::patterned(sending ? local : stored, size).isEmpty());
    // A download never lands on an earlier row's file of the same name.
    QVERIFY(sending || !QFile::exists(local) || QFile::remove(local));
    const int polls = Timing::current().statusPolls;
    const ScopedTiming timing([&](Timing& t) {
        if (queries == polls) {
            t.downloadReplyWaitMs = 100; // not waited out 10 times
            t.statusPollIntervalMs = 50; // the waits outlast the polls' time: asked exactly 10 times
        }
    });
    const Run run = sending ? upload({local}, options.at(1), secure) : download(remote, local, options.at(1));
    QVERIFY2(run.outcome.ok, qPrintable(run.outcome.text()));
    const ProgressContent last = run.last();
    QVERIFY(last.progress == ProgressContent::Done && last.remotePath == remote && last.nativePath == local);
    const int type
        = sending ? (secure ? ProgressContent::SecureUpload : ProgressContent::Upload) : ProgressContent::Download;
    QCOMPARE(last.type, type);
    QCOMPARE(TestFiles::md5Of(stored), TestFiles::md5Of(local));
    QVERIFY(sending ? m_relayed == run.reports.size() : last.dateModified == 1234);
    // One report per percent. An upload never shows 0; a download shows it when its first
    // read (cut short by a slow device) brought less than a percent. A resumed upload may
    // fall back to the offset the device states (the bytes in flight are sent again).
    QStringList shown;
    for (const ProgressContent& p : run.reports)
        shown << QString::number(p.progress);
    for (int i = 0; i < run.reports.size(); ++i) {
        const int floor = (cut && sending) || i == 0 ? (sending ? 0 : -1) : run.reports.at(i - 1).progress;
        QVERIFY2(run.reports.at(i).progress > floor, qPrintable(shown.join(' ')));
    }
    // Small and empty files: 100 % equals the starting value, no report before the final one.
    QVERIFY(run.reports.size() <= (size > 0 ? 101 : 1));
    if (cut)
        QCOMPARE(
            d.waitForLog("event", sending ? "resume-offset-sent" : "resume-offset-received").value("value").toDouble(),
            double(cut));
    if (sending)
        QCOMPARE(d.logWhere("dir", "in").first().value("payload").toString(),
            QString("{ \"file_name\" : \"%1\", \"file_size\" : %2, \"option\" : \"%3\", \"type\" : \"file_upload\" }")
                .arg(name)
                .arg(size)
                .arg(secure ? "secure" : "normal"));
    const QList<QVariantMap> asked = d.requests("query_result");
    // Queries start once the device has every byte: one still writing them answers
    // "not_complete" on its own, so the forced ones are at least; a device that never
    // answers is asked the protocol's number of times.
    QVERIFY2(
        !asked.isEmpty() && (queries < 0 || (queries == polls ? asked.size() == queries : asked.size() >= queries)),
        qPrintable(QString::number(asked.size())));
    for (const QVariantMap& query : asked)
        QCOMPARE(query.value("md5").toString(), TestFiles::md5Of(local)); // the whole file, not the last part
    const QList<RecentFilesContent> history = m_context->database()->getRecentFiles("uuid-" + options.at(1));
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().type, QString(!sending ? "file_download" : secure ? "secure" : "file_upload"));
    QVERIFY(history.first().remotePath == remote && history.first().nativePath == local);
    QCOMPARE(history.first().dateModified, sending ? QFileInfo(local).lastModified().toMSecsSinceEpoch() : 1234);
}

void TestTransfers::uploadsRunOneAfterAnother()
{
    QUORVEL_DEVICE(d, {"--address", "127.0.0.8", "--no-mdns"});
    const QString one = TestFiles::patterned(m_dir.path() + "/one.bin", 2 << 20);
    const Run run = upload({one, TestFiles::patterned(m_dir.path() + "/two.bin", 2 << 20)}, "127.0.0.8");
    QVERIFY2(run.outcome.ok, qPrintable(run.outcome.text()));
    QVERIFY(run.reports.size() >= 4);
    const int first = run.reports.first().id;
    int i = 0;
    while (i < run.reports.size() && run.reports.at(i).id == first)
        ++i;
    QCOMPARE(run.reports.at(i - 1).progress, int(ProgressContent::Done)); // the first ended before the second began
    QVERIFY(m_outcomes.value(first).ok);
    for (const int second = run.reports.at(i).id; i < run.reports.size(); ++i)
        QVERIFY(run.reports.at(i).id == second && second != first);
    QCOMPARE(run.last().progress, int(ProgressContent::Done));
}

void TestTransfers::lyingDevices_data()
{
    QTest::addColumn<bool>("sending");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("words"); // in the outcome's reason, which also names the device
    QTest::addColumn<int>("queries"); // status queries the device got
    QTest::addColumn<QString>("device"); // the device's own reason
    QTest::addColumn<bool>("partialKept"); // a download's, for a later resumption
    const auto row = [](const char* tag, bool sending, const QStringList& options, const QString& words,
                         int queries = 0, const QString& device = QString(), bool partialKept = false) {
        QTest::newRow(tag) << sending << options << words << queries << device << partialKept;
    };
    for (const bool up : {true, false}) {
        const QString type = up ? "file_upload" : "file_download";
        const QString name = (up ? "upload: " : "download: ");
        row(qPrintable(name + "tcp port 0"), up, {"--lie", "tcp-port-0"}, "no usable port");
        row(qPrintable(name + "tcp port 70000"), up, {"--lie", "tcp-port-70000"}, "no usable port");
        row(qPrintable(name + "json array"), up, {"--lie", "json-array"}, "not valid");
        row(qPrintable(name + "not json"), up, {"--lie", "not-json"}, "not valid");
        row(qPrintable(name + "answer from another port"), up, {"--wrong-port", type},
            "did not come from 127.0.0.9 port 16021");
        row(qPrintable(name + "silent"), up, {"--ignore", type}, "did not answer");
        // Any reason other than not_complete ends it at once.
        row(qPrintable(name + "md5 mismatch"), up, {"--lie", "bad-md5"}, "is not right", 1, "md5 mismatch");
    }
    row("upload: wrong session in every status", true, {"--lie", "wrong-session:query_result"}, "did not confirm", 10);
    row("download: file larger than said", false, {"--lie", "file-size-larger"}, "stopped sending", 0, "", true);
    row("download: stalls", false, {"--stall-after", "50000"}, "stopped sending after 50000", 0, "", true);
}

void TestTransfers::lyingDevices()
{
    QFETCH(bool, sending);
    QFETCH(QStringList, options);
    QFETCH(QString, words);
    QFETCH(int, queries);
    QFETCH(QString, device);
    QFETCH(bool, partialKept);
    QUORVEL_DEVICE(d, QStringList{"--address", "127.0.0.9", "--no-mdns"} + options);
    QTemporaryDir target;
    const QString file = TestFiles::patterned((sending ? target.path() : d.folder() + "/Quorvel") + "/big.bin", 200000);
    const Run run
        = sending ? upload({file}, "127.0.0.9") : download("/Quorvel/big.bin", target.path() + "/big.bin", "127.0.0.9");
    QVERIFY2(!run.outcome.ok && run.outcome.reason.contains("127.0.0.9 ") && run.outcome.reason.contains(words),
        qPrintable(run.outcome.text()));
    QCOMPARE(run.outcome.deviceReason, device);
    QCOMPARE(run.last().progress, int(ProgressContent::Failed));
    QCOMPARE(run.last().text, run.outcome.text());
    // A device that never confirms is asked for the whole budget: at least the protocol's
    // number of polls. A sending device may say "not complete" before its last bytes are
    // counted, which asks once more.
    const int asked = d.requests("query_result").size();
    int notComplete = 0;
    for (const QJsonObject& line : d.logWhere("dir", "out"))
        notComplete += device == "md5 mismatch" && line.value("payload").toString().contains("not_complete");
    QVERIFY2(queries < Timing::current().statusPolls ? asked == queries + notComplete : asked >= queries,
        qPrintable(QString::number(asked)));
    QVERIFY(m_context->database()->getRecentFiles("uuid-127.0.0.9").isEmpty());
    // Nothing but the file moved, if anything, was written; a partial download as its part.
    QCOMPARE(QDir(target.path()).entryList(QDir::Files | QDir::Hidden),
        sending           ? QStringList{"big.bin"}
            : partialKept ? QStringList({"big.bin.part", "big.bin.part.owner"})
                          : QStringList());
}

void TestTransfers::largerThanFourGiB()
{
    if (!qEnvironmentVariableIsSet("QUORVEL_LARGE_TESTS") && !qEnvironmentVariableIsSet("QUORVEL_REQUIRE_NETNS"))
        QSKIP("set QUORVEL_LARGE_TESTS=1 to move files larger than 4 GiB");
    Timing::setForTests(Timing()); // real waits: hashing 4 GiB takes a while on each side
    const qint64 size = (Q_INT64_C(4) << 30) + 4096 * 3 + 7;
    const QString file = m_dir.path() + "/sparse.bin";
    QFile sparse(file); // the disk stays small
    QVERIFY(sparse.open(QIODevice::WriteOnly) && sparse.resize(size) && sparse.seek(size - 5));
    QVERIFY(sparse.write("tail!") == 5 && sparse.flush());
    sparse.close();
    QUORVEL_DEVICE(d, {"--address", "127.0.0.17", "--no-mdns"});
    const Run up = upload({file}, "127.0.0.17", false, 600000);
    QVERIFY2(up.outcome.ok, qPrintable(up.outcome.text()));
    for (int i = 1; i < up.reports.size(); ++i)
        QVERIFY(up.reports.at(i).progress > up.reports.at(i - 1).progress);
    QCOMPARE(QFileInfo(d.folder() + QString::fromUtf8("/Quorvel/上传/sparse.bin")).size(), size);
    QFile::remove(file); // keep one copy of 4 GiB on disk at a time

    const QString back = m_dir.path() + "/back.bin";
    const Run down = download(QString::fromUtf8("/Quorvel/上传/sparse.bin"), back, "127.0.0.17", 600000);
    QVERIFY2(down.outcome.ok, qPrintable(down.outcome.text()));
    QFile tail(back);
    QVERIFY(tail.size() == size && tail.open(QIODevice::ReadOnly) && tail.seek(size - 5));
    QCOMPARE(tail.read(5), QByteArray("tail!"));
}

QTEST_GUILESS_MAIN(TestTransfers)
#include "tst_transfers.moc"
