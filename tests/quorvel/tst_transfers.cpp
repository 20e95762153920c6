#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include "AppContext.h"
#include "Config.h"
#include "DeviceProcess.h"
#include "FileDownloader.h"
#include "FileTransferServer.h"
#include "LogCapture.h"
#include "QuorvelClientDatabase.h"
#include "TestFiles.h"
#include "Timing.h"

// Uploads and downloads against the simulated device, honest and lying.
class TestTransfers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void normalUpload();
    void secureUpload();
    void emptyUpload();
    void uploadResumesAfterACut();
    void uploadPollsWhileNotComplete();
    void uploadMismatchReportedByDevice();
    void uploadsRunOneAfterAnother();
    void uploadToLyingDevices();
    void smallDownloadInOneRead();
    void emptyDownload();
    void downloadResumesAfterACut();
    void downloadReplyFromAnotherPort();
    void downloadFailedStatusDeletesTheFile();
    void downloadWithoutStatusRepliesCountsAsDone();
    void downloadFromLyingDevices();
    void largerThanFourGiB();

private:
    ServerContent device(const QString& address) const
    {
        ServerContent s;
        s.address = QHostAddress(address);
        s.uuid = "uuid-" + address;
        return s;
    }
    QString makeFile(const QString& name, qint64 size);
    QList<ProgressContent> upload(const QStringList& files, const ServerContent& server, int timeoutMs = 30000);
    QList<ProgressContent> download(
        const QString& remote, const QString& local, const ServerContent& server, int timeoutMs = 30000);
    static int queries(const DeviceProcess& d);

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    QList<ProgressContent> m_uploads;
};

void TestTransfers::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
    LogCapture::install();
    Timing t;
    t.statusPollIntervalMs = 50;
    t.uploadReplyWaitMs = 1000;
    t.uploadTcpWaitMs = 1000;
    t.downloadReplyWaitMs = 1000;
    t.downloadTcpWaitMs = 300;
    Timing::setForTests(t);
    connect(
        FileTransferServer::instance(), &FileTransferServer::uploadProgress, this,
        [this](const ProgressContent& p) { m_uploads.append(p); }, Qt::QueuedConnection);
}

void TestTransfers::init()
{
    LogCapture::clear();
    m_uploads.clear();
    Config::instance()->setValue(Config::SecureMode, false);
}

QString TestTransfers::makeFile(const QString& name, qint64 size)
{
    return TestFiles::patterned(m_dir.path() + "/" + name, size);
}

int TestTransfers::queries(const DeviceProcess& d)
{
    int n = 0;
    for (const QJsonObject& line : d.logWhere("dir", "in"))
        n += line.value("payload").toString().contains("\"type\" : \"query_result\"");
    return n;
}

QList<ProgressContent> TestTransfers::upload(const QStringList& files, const ServerContent& server, int timeoutMs)
{
    const QList<int> ids = FileTransferServer::instance()->uploadFiles(files, server);
    const auto finished = [this, ids] {
        int done = 0;
        for (const ProgressContent& p : qAsConst(m_uploads))
            done += ids.contains(p.id) && (p.progress == 101 || p.progress == -1);
        return done;
    };
    QDeadlineTimer deadline(timeoutMs);
    while (finished() < ids.size() && !deadline.hasExpired())
        QTest::qWait(20);
    QList<ProgressContent> mine;
    for (const ProgressContent& p : qAsConst(m_uploads)) {
        if (ids.contains(p.id))
            mine.append(p);
    }
    return mine;
}

QList<ProgressContent> TestTransfers::download(
    const QString& remote, const QString& local, const ServerContent& server, int timeoutMs)
{
    QList<ProgressContent> reports;
    auto* task = new FileDownloader(remote, local, server, 1234);
    connect(
        task, &FileDownloader::updateProgress, this, [&](const ProgressContent& p) { reports.append(p); },
        Qt::QueuedConnection);
    QThreadPool pool;
    pool.start(task);
    pool.waitForDone(timeoutMs);
    QDeadlineTimer deadline(5000);
    while ((reports.isEmpty() || (reports.last().progress != 101 && reports.last().progress != -1))
        && !deadline.hasExpired())
        QTest::qWait(10);
    return reports;
}

void TestTransfers::normalUpload()
{
    DeviceProcess d({"--address", "127.0.0.2", "--no-mdns"});
    QVERIFY(d.isReady());
    const QString file = makeFile(QString::fromUtf8("季度 报告.bin"), 3 * 1024 * 1024 + 17);
    const QList<ProgressContent> reports = upload({file}, device("127.0.0.2"));
    QVERIFY(!reports.isEmpty());
    QCOMPARE(reports.last().progress, 101);
    QCOMPARE(reports.last().type, 0);
    QCOMPARE(reports.last().remotePath, QString::fromUtf8("/QuorVEL/上传/季度 报告.bin"));
    QCOMPARE(reports.last().nativePath, file);
    int previous = 0;
    for (const ProgressContent& p : reports) {
        QVERIFY(p.progress > previous); // monotonic, never 0, one report per percent
        previous = p.progress;
    }
    QVERIFY(reports.size() <= 101);
    QCOMPARE(TestFiles::md5Of(d.folder() + QString::fromUtf8("/Quorvel/上传/季度 报告.bin")), TestFiles::md5Of(file));
    const QList<RecentFilesContent> history = QuorvelClientDatabase::instance()->getRecentFiles("uuid-127.0.0.2");
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().type, QString("file_upload"));
    QCOMPARE(history.first().remotePath, QString::fromUtf8("/QuorVEL/上传/季度 报告.bin"));
    QCOMPARE(history.first().dateModified, QFileInfo(file).lastModified().toMSecsSinceEpoch());

    const QString announce = d.logWhere("dir", "in").first().value("payload").toString();
    QCOMPARE(announce,
        QString::fromUtf8("{ \"file_name\" : \"季度 报告.bin\", \"file_size\" : 3145745, \"option\" : "
                          "\"normal\", \"type\" : \"file_upload\" }"));
}

void TestTransfers::secureUpload()
{
    DeviceProcess d({"--address", "127.0.0.3", "--no-mdns"});
    QVERIFY(d.isReady());
    Config::instance()->setValue(Config::SecureMode, true);
    const QString file = makeFile("Plan.pdf", 5000);
    const QList<ProgressContent> reports = upload({file}, device("127.0.0.3"));
    QCOMPARE(reports.last().progress, 101);
    QCOMPARE(reports.last().type, 2);
    QCOMPARE(reports.last().remotePath, QString("secure:/Plan.pdf"));
    QCOMPARE(TestFiles::md5Of(d.secureFolder() + "/Plan.pdf"), TestFiles::md5Of(file));
    QCOMPARE(QuorvelClientDatabase::instance()->getRecentFiles("uuid-127.0.0.3").first().type, QString("secure"));
    QVERIFY(d.logWhere("dir", "in").first().value("payload").toString().contains("\"option\" : \"secure\""));
}

void TestTransfers::emptyUpload()
{
    DeviceProcess d({"--address", "127.0.0.4", "--no-mdns"});
    QVERIFY(d.isReady());
    const QString file = makeFile("empty.txt", 0);
    const QList<ProgressContent> reports = upload({file}, device("127.0.0.4"));
    QCOMPARE(reports.size(), 1); // no progress between 1 and 100
    QCOMPARE(reports.last().progress, 101);
    bool sawMd5 = false;
    for (const QJsonObject& line : d.logWhere("dir", "in"))
        sawMd5 = sawMd5 || line.value("payload").toString().contains("\"md5\" : \"d41d8cd98f00b204e9800998ecf8427e\"");
    QVERIFY(sawMd5);
    QVERIFY(QFileInfo::exists(d.folder() + QString::fromUtf8("/Quorvel/上传/empty.txt")));
}

void TestTransfers::uploadResumesAfterACut()
{
    // The large file is still going out when the device breaks the connection. The small
    // one has all left into the kernel's buffers by then: the device drops it while it is
    // asked for its status (pins an upload that took "handed to the kernel" for "arrived"
    // and asked until it gave up).
    for (const qint64 size : {qint64(10 * 1024 * 1024), qint64(1024 * 1024)}) {
        DeviceProcess d({"--address", "127.0.0.5", "--no-mdns", "--cut-after", QString::number(size * 4 / 10)});
        QVERIFY(d.isReady());
        const QString file = makeFile(QString("cut-%1.bin").arg(size), size);
        const QList<ProgressContent> reports = upload({file}, device("127.0.0.5"));
        QCOMPARE(reports.last().progress, 101);
        QCOMPARE(d.waitForLog("event", "resume-offset-sent").value("value").toDouble(), double(size * 4 / 10));
        QCOMPARE(TestFiles::md5Of(d.folder() + QString("/Quorvel/上传/cut-%1.bin").arg(size)), TestFiles::md5Of(file));
        bool wholeMd5 = false;
        for (const QJsonObject& line : d.logWhere("dir", "in"))
            wholeMd5 = wholeMd5 || line.value("payload").toString().contains(TestFiles::md5Of(file));
        QVERIFY(wholeMd5); // the query names the whole file, not the last connection's part
        // Progress goes on from the offset the device states (it may fall back to it: the
        // bytes in flight when the connection broke are sent again).
        for (const ProgressContent& p : reports)
            QVERIFY(p.progress > 0);
    }
}

void TestTransfers::uploadPollsWhileNotComplete()
{
    DeviceProcess d({"--address", "127.0.0.6", "--no-mdns", "--not-complete", "3"});
    QVERIFY(d.isReady());
    const QList<ProgressContent> reports = upload({makeFile("poll.bin", 1000)}, device("127.0.0.6"));
    QCOMPARE(reports.last().progress, 101);
    QCOMPARE(queries(d), 4);
}

void TestTransfers::uploadMismatchReportedByDevice()
{
    DeviceProcess d({"--address", "127.0.0.7", "--no-mdns", "--lie", "bad-md5"});
    QVERIFY(d.isReady());
    const QList<ProgressContent> reports = upload({makeFile("bad.bin", 1000)}, device("127.0.0.7"));
    QCOMPARE(reports.last().progress, -1);
    QCOMPARE(LogCapture::count("[E][FileTransferServer] Request fail: md5 mismatch."), 1);
    QCOMPARE(queries(d), 1); // a reason other than not_complete ends it at once
    QVERIFY(QuorvelClientDatabase::instance()->getRecentFiles("uuid-127.0.0.7").isEmpty());
}

void TestTransfers::uploadsRunOneAfterAnother()
{
    DeviceProcess d({"--address", "127.0.0.8", "--no-mdns"});
    QVERIFY(d.isReady());
    const QList<ProgressContent> reports
        = upload({makeFile("one.bin", 2 * 1024 * 1024), makeFile("two.bin", 2 * 1024 * 1024)}, device("127.0.0.8"));
    QVERIFY(reports.size() >= 4);
    const int first = reports.first().id;
    int i = 0;
    while (i < reports.size() && reports.at(i).id == first)
        ++i;
    QCOMPARE(reports.at(i - 1).progress, 101); // the first finished before the second began
    const int second = reports.at(i).id;
    QVERIFY(second != first);
    for (; i < reports.size(); ++i)
        QCOMPARE(reports.at(i).id, second);
    QCOMPARE(reports.last().progress, 101);
}

void TestTransfers::uploadToLyingDevices()
{
    struct Case {
        QStringList args;
        QString log;
    };
    const QList<Case> cases{
        {{"--lie", "tcp-port-0"}, "[E][FileTransferServer] Invalid tcp port."},
        {{"--lie", "tcp-port-70000"}, "[E][FileTransferServer] Invalid tcp port."},
        {{"--lie", "json-array"}, "[E][FileTransferServer] Invalid session_id."},
        {{"--lie", "not-json"}, "[E][FileTransferServer] Json parse fail."},
        {{"--wrong-port", "file_upload"}, "[E][FileTransferServer] Udp receive a packet from a wrong host."},
        {{"--ignore", "file_upload"}, "[E][FileTransferServer] Wait for udp packet fail."},
        {{"--lie", "wrong-session:query_result"}, "[E][FileTransferServer] Wait for server response timeout."},
    };
    const QString file = makeFile("lie.bin", 100000);
    for (const Case& c : cases) {
        LogCapture::clear();
        m_uploads.clear();
        DeviceProcess d(QStringList{"--address", "127.0.0.9", "--no-mdns"} + c.args);
        QVERIFY(d.isReady());
        const QList<ProgressContent> reports = upload({file}, device("127.0.0.9"));
        QVERIFY2(!reports.isEmpty() && reports.last().progress == -1, qPrintable(c.args.join(' ')));
        QVERIFY2(LogCapture::lines().contains(c.log), qPrintable(LogCapture::lines().join('\n')));
    }
}

void TestTransfers::smallDownloadInOneRead()
{
    DeviceProcess d({"--address", "127.0.0.10", "--no-mdns"});
    QVERIFY(d.isReady());
    const QString local = m_dir.path() + "/readme.txt";
    const QList<ProgressContent> reports = download("/Quorvel/readme.txt", local, device("127.0.0.10"));
    QCOMPARE(reports.size(), 1); // 100 % equals the starting value: no intermediate report
    QCOMPARE(reports.last().progress, 101);
    QCOMPARE(reports.last().type, 1);
    QCOMPARE(reports.last().dateModified, qint64(1234));
    QCOMPARE(TestFiles::md5Of(local), TestFiles::md5Of(d.folder() + "/Quorvel/readme.txt"));
    const QList<RecentFilesContent> history = QuorvelClientDatabase::instance()->getRecentFiles("uuid-127.0.0.10");
    QCOMPARE(history.size(), 1);
    QCOMPARE(history.first().type, QString("file_download"));
    QCOMPARE(history.first().nativePath, local);
}

void TestTransfers::emptyDownload()
{
    DeviceProcess d({"--address", "127.0.0.11", "--no-mdns"});
    QVERIFY(d.isReady());
    QFile empty(d.folder() + "/Quorvel/empty");
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    const QString local = m_dir.path() + "/empty-download";
    const QList<ProgressContent> reports = download("/Quorvel/empty", local, device("127.0.0.11"));
    QCOMPARE(reports.last().progress, 101);
    QVERIFY(QFileInfo::exists(local));
    QCOMPARE(QFileInfo(local).size(), qint64(0));
    QVERIFY(d.logWhere("dir", "in").last().value("payload").toString().contains("d41d8cd98f00b204e9800998ecf8427e"));
}

void TestTransfers::downloadResumesAfterACut()
{
    const qint64 size = 8 * 1024 * 1024;
    DeviceProcess d({"--address", "127.0.0.12", "--no-mdns", "--cut-after", QString::number(size * 3 / 10)});
    QVERIFY(d.isReady());
    QVERIFY(QFile::copy(makeFile("remote.bin", size), d.folder() + "/Quorvel/remote.bin"));
    const QString local = m_dir.path() + "/remote-copy.bin";
    const QList<ProgressContent> reports = download("/Quorvel/remote.bin", local, device("127.0.0.12"));
    QCOMPARE(reports.last().progress, 101);
    QCOMPARE(d.waitForLog("event", "resume-offset-received").value("value").toDouble(), double(size * 3 / 10));
    QCOMPARE(TestFiles::md5Of(local), TestFiles::md5Of(d.folder() + "/Quorvel/remote.bin"));
    for (int i = 1; i < reports.size(); ++i)
        QVERIFY(reports.at(i).progress > reports.at(i - 1).progress);
}

void TestTransfers::downloadReplyFromAnotherPort()
{
    DeviceProcess d({"--address", "127.0.0.13", "--no-mdns", "--wrong-port", "file_download"});
    QVERIFY(d.isReady());
    const QString local = m_dir.path() + "/never.txt";
    const QList<ProgressContent> reports = download("/Quorvel/readme.txt", local, device("127.0.0.13"));
    QCOMPARE(reports.last().progress, -1);
    QCOMPARE(LogCapture::count("[E][FileDownloader] File download error: Wrong host or port."), 1);
    QVERIFY(!QFileInfo::exists(local)); // failed before the local file was created
}

void TestTransfers::downloadFailedStatusDeletesTheFile()
{
    DeviceProcess d({"--address", "127.0.0.14", "--no-mdns", "--lie", "bad-md5"});
    QVERIFY(d.isReady());
    const QString local = m_dir.path() + "/deleted.txt";
    const QList<ProgressContent> reports = download("/Quorvel/readme.txt", local, device("127.0.0.14"));
    QCOMPARE(reports.last().progress, -1);
    QVERIFY(!QFileInfo::exists(local));
    QCOMPARE(LogCapture::count("[E][FileDownloader] Request failmd5 mismatch:"), 1);
}

void TestTransfers::downloadWithoutStatusRepliesCountsAsDone()
{
    Timing t = Timing::current();
    const Timing saved = t;
    t.downloadReplyWaitMs = 100;
    Timing::setForTests(t);
    DeviceProcess d({"--address", "127.0.0.15", "--no-mdns", "--ignore", "query_result"});
    QVERIFY(d.isReady());
    const QString local = m_dir.path() + "/unconfirmed.txt";
    const QList<ProgressContent> reports = download("/Quorvel/readme.txt", local, device("127.0.0.15"));
    Timing::setForTests(saved);
    QCOMPARE(reports.last().progress, 101);
    QCOMPARE(queries(d), 10);
    QVERIFY(QFileInfo::exists(local));
}

void TestTransfers::downloadFromLyingDevices()
{
    struct Case {
        QStringList args;
        QString log;
    };
    const QList<Case> cases{
        {{"--lie", "tcp-port-0"}, "[E][FileDownloader] Request fail: get tcp port fail."},
        {{"--lie", "tcp-port-70000"}, "[E][FileDownloader] Request fail: get tcp port fail."},
        {{"--lie", "json-array"}, "[E][FileDownloader] Request fail:"},
        {{"--lie", "not-json"}, "[E][FileDownloader] Json object parse fail."},
        {{"--ignore", "file_download"}, "[E][FileDownloader] Udpsocket receive fail."},
        {{"--lie", "file-size-larger"}, "[E][FileDownloader] TCP socket wait for data timeout."},
        {{"--stall-after", "50000"}, "[E][FileDownloader] TCP socket wait for data timeout."},
    };
    QVERIFY(QFile::copy(makeFile("lying-src.bin", 200000), m_dir.path() + "/lying-src-copy.bin"));
    for (const Case& c : cases) {
        LogCapture::clear();
        DeviceProcess d(QStringList{"--address", "127.0.0.16", "--no-mdns"} + c.args);
        QVERIFY(d.isReady());
        QVERIFY(QFile::copy(m_dir.path() + "/lying-src-copy.bin", d.folder() + "/Quorvel/big.bin"));
        QTemporaryDir target;
        const QString local = target.path() + "/big.bin";
        const QList<ProgressContent> reports = download("/Quorvel/big.bin", local, device("127.0.0.16"), 60000);
        QVERIFY2(!reports.isEmpty() && reports.last().progress == -1, qPrintable(c.args.join(' ')));
        QVERIFY2(LogCapture::lines().contains(c.log), qPrintable(LogCapture::lines().join('\n')));
        // Nothing but the requested file, if anything, was written.
        const QStringList written = QDir(target.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY(written.isEmpty() || written == QStringList{"big.bin"});
    }
}

void TestTransfers::largerThanFourGiB()
{
    if (!qEnvironmentVariableIsSet("QUORVEL_LARGE_TESTS") && !qEnvironmentVariableIsSet("QUORVEL_REQUIRE_NETNS"))
        QSKIP("set QUORVEL_LARGE_TESTS=1 to move files larger than 4 GiB");
    Timing::setForTests(Timing()); // real waits: hashing 4 GiB takes a while on each side
    const qint64 size = (Q_INT64_C(4) << 30) + 4096 * 3 + 7;
    const QString file = m_dir.path() + "/sparse.bin";
    {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(size)); // sparse: the disk stays small
        QVERIFY(f.seek(size - 5));
        f.write("tail!");
    }
    DeviceProcess d({"--address", "127.0.0.17", "--no-mdns"});
    QVERIFY(d.isReady());
    const QList<ProgressContent> up = upload({file}, device("127.0.0.17"), 600000);
    QCOMPARE(up.last().progress, 101);
    for (int i = 1; i < up.size(); ++i)
        QVERIFY(up.at(i).progress > up.at(i - 1).progress);
    const QString stored = d.folder() + QString::fromUtf8("/Quorvel/上传/sparse.bin");
    QCOMPARE(QFileInfo(stored).size(), size);
    QFile::remove(file); // keep one copy of 4 GiB on disk at a time

    const QString back = m_dir.path() + "/back.bin";
    const QList<ProgressContent> down
        = download(QString::fromUtf8("/Quorvel/上传/sparse.bin"), back, device("127.0.0.17"), 600000);
    QCOMPARE(down.last().progress, 101);
    QCOMPARE(QFileInfo(back).size(), size);
    QFile tail(back);
    QVERIFY(tail.open(QIODevice::ReadOnly));
    QVERIFY(tail.seek(size - 5));
    QCOMPARE(tail.read(5), QByteArray("tail!"));
}

QTEST_GUILESS_MAIN(TestTransfers)
#include "tst_transfers.moc"
