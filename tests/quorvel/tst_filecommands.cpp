#include <QImage>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include "AppContext.h"
#include "DeviceProcess.h"
#include "FileDelete.h"
#include "FileFinder.h"
#include "FileOpen.h"
#include "FileThumb.h"
#include "LogCapture.h"
#include "QuorvelClientDatabase.h"
#include "SalutatorySetter.h"
#include "Timing.h"
#include "UdpProbe.h"
#include "UserNotices.h"

// Listing and the single-request commands against the simulated device.
class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void listingRootIsFiltered();
    void listingInSeveralDatagrams();
    void listingWithoutFinishedDeliversAfterTheWait();
    void listingFailIsLoggedAndSilent();
    void listingRequestBytesAndKeylessEntries();
    void openAndDelete();
    void thumbnailsComeFromTheCacheSecondTime();
    void thumbnailThatIsNotBase64StillCounts();
    void silentDeviceFailsQuietly();
    void welcomeText();
    void imageNames();

private:
    ServerContent device(const QString& address) const
    {
        ServerContent s;
        s.address = QHostAddress(address);
        s.uuid = "uuid-" + address;
        return s;
    }
    QList<FileContent> list(
        const QString& address, const QString& path, bool* emitted, const QString& sort = "file_name_increase");
    int countIn(const DeviceProcess& d, const QString& type) const;

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    QStringList m_notices;
};

void TestFileCommands::initTestCase()
{
    QDir::setCurrent(m_dir.path());
    m_context = std::make_unique<AppContext>(m_dir.path());
    LogCapture::install();
    Timing t;
    t.listingWaitMs = 400;
    t.commandWaitMs = 400;
    Timing::setForTests(t);
    connect(
        UserNotices::instance(), &UserNotices::notify, this, [this](const QString& n) { m_notices.append(n); },
        Qt::QueuedConnection);
}

void TestFileCommands::init()
{
    LogCapture::clear();
    m_notices.clear();
}

int TestFileCommands::countIn(const DeviceProcess& d, const QString& type) const
{
    int n = 0;
    for (const QJsonObject& line : d.logWhere("dir", "in"))
        n += QtJson::parseObject(line.value("payload").toString().toUtf8()).value("type").toString() == type;
    return n;
}

QList<FileContent> TestFileCommands::list(
    const QString& address, const QString& path, bool* emitted, const QString& sort)
{
    auto* finder = new FileFinder(path, sort, device(address));
    QList<FileContent> result;
    bool got = false;
    connect(
        finder, &FileFinder::findFileEnd, this,
        [&](const QList<FileContent>& l) {
            result = l;
            got = true;
        },
        Qt::QueuedConnection);
    QThreadPool pool;
    pool.start(finder);
    pool.waitForDone(10000);
    QCoreApplication::sendPostedEvents();
    *emitted = got;
    return result;
}

void TestFileCommands::listingRootIsFiltered()
{
    DeviceProcess d({"--address", "127.0.0.2", "--no-mdns"});
    QVERIFY(d.isReady());
    QDir(d.folder()).mkdir("Music");
    QDir(d.folder()).mkdir("pictures");
    bool emitted = false;
    const QList<FileContent> root = list("127.0.0.2", "", &emitted);
    QVERIFY(emitted);
    QStringList names;
    for (const FileContent& f : root)
        names << f.name;
    QCOMPARE(names, (QStringList{"Pictures", "Quorvel", "Whiteboard"}));
    QVERIFY(root.first().isDir());

    const QList<FileContent> sub = list("127.0.0.2", "/Pictures", &emitted, "file_name_decrease");
    QStringList subNames;
    for (const FileContent& f : sub)
        subNames << f.name;
    QCOMPARE(subNames, (QStringList{"sunrise.png", "lake.jpg", "2024"}));
    QVERIFY(sub.first().size > 0);
}

void TestFileCommands::listingInSeveralDatagrams()
{
    DeviceProcess d({"--address", "127.0.0.3", "--no-mdns", "--list-chunk", "1"});
    QVERIFY(d.isReady());
    bool emitted = false;
    const QList<FileContent> sub = list("127.0.0.3", "/Pictures", &emitted);
    QVERIFY(emitted);
    QCOMPARE(sub.size(), 3);
    QCOMPARE(d.logWhere("dir", "out").size(), 3); // one entry per datagram, the last "finished"
}

void TestFileCommands::listingWithoutFinishedDeliversAfterTheWait()
{
    DeviceProcess d({"--address", "127.0.0.4", "--no-mdns", "--list-without-finished"});
    QVERIFY(d.isReady());
    bool emitted = false;
    QElapsedTimer timer;
    timer.start();
    const QList<FileContent> sub = list("127.0.0.4", "/Pictures", &emitted);
    QVERIFY(emitted);
    QCOMPARE(sub.size(), 3);
    QVERIFY(timer.elapsed() >= Timing::current().listingWaitMs); // it waited for more
}

void TestFileCommands::listingFailIsLoggedAndSilent()
{
    DeviceProcess d({"--address", "127.0.0.5", "--no-mdns"});
    QVERIFY(d.isReady());
    bool emitted = true;
    list("127.0.0.5", "/Nowhere", &emitted);
    QVERIFY(!emitted);
    QCOMPARE(LogCapture::count("[E][FileFinder] Find File Fail: No such directory."), 1);

    DeviceProcess liar({"--address", "127.0.0.6", "--no-mdns", "--lie", "not-json"});
    QVERIFY(liar.isReady());
    list("127.0.0.6", "/Pictures", &emitted);
    QVERIFY(!emitted);
}

void TestFileCommands::listingRequestBytesAndKeylessEntries()
{
    // A hand-made device: checks the request's exact bytes and answers with entries that
    // lack keys, from another port (a listing takes any datagram).
    UdpProbe fake(QHostAddress("127.0.0.7"), 16021);
    auto* finder = new FileFinder("/Pictures/2024", "file_size_decrease", device("127.0.0.7"));
    QList<FileContent> result;
    connect(
        finder, &FileFinder::findFileEnd, this, [&](const QList<FileContent>& l) { result = l; }, Qt::QueuedConnection);
    QThreadPool pool;
    pool.start(finder);
    const QNetworkDatagram request = fake.receive(5000);
    QCOMPARE(request.data(),
        QByteArray("{ \"file_path\" : \"/Pictures/2024\", \"key\" : \"0\", \"sort\" : "
                   "\"file_size_decrease\", \"type\" : \"file_list\" }"));
    UdpProbe other(QHostAddress("127.0.0.7"));
    other.send(request.senderAddress(), quint16(request.senderPort()),
        QByteArray("{\"file_list\":[{},{\"file_name\":\"x\"}],\"finished\":true}"));
    QVERIFY(pool.waitForDone(5000));
    QTRY_COMPARE(result.size(), 2);
    QCOMPARE(result.at(0).name, QString("AAA"));
    QCOMPARE(result.at(0).type, QString("type"));
    QCOMPARE(result.at(0).size, qint64(10));
    QCOMPARE(result.at(0).dateModified, qint64(10));
    QCOMPARE(result.at(1).name, QString("x"));
}

void TestFileCommands::openAndDelete()
{
    DeviceProcess d({"--address", "127.0.0.8", "--no-mdns"});
    QVERIFY(d.isReady());
    QFile secret(d.secureFolder() + "/a.txt");
    QVERIFY(secret.open(QIODevice::WriteOnly));
    secret.close();
    QThreadPool pool;
    pool.start(new FileOpen("secure:/a.txt", device("127.0.0.8")));
    QVERIFY(pool.waitForDone(5000));
    const QJsonObject in = d.waitForLog("dir", "in");
    QCOMPARE(in.value("payload").toString(),
        QString("{ \"file_path\" : \"a.txt\", \"option\" : \"secure\", \"type\" : \"file_open\" }"));
    QTRY_COMPARE(m_notices, QStringList{QString::fromUtf8("打开文件成功.")});

    bool deleted = false;
    auto* del = new FileDelete("secure:/a.txt", device("127.0.0.8"));
    connect(
        del, &FileDelete::deleteFileEnd, this, [&](bool r) { deleted = r; }, Qt::QueuedConnection);
    pool.start(del);
    QVERIFY(pool.waitForDone(5000));
    QTRY_VERIFY(deleted);
    QVERIFY(!secret.exists());
    QCOMPARE(d.logWhere("dir", "in").last().value("payload").toString(),
        QString("{ \"file_path\" : \"secure:/a.txt\", \"type\" : \"file_delete\" }"));

    // Opening what is not there: the device's reason in the log, the failure notice.
    pool.start(new FileOpen("/Quorvel/none.txt", device("127.0.0.8")));
    QVERIFY(pool.waitForDone(5000));
    QTRY_COMPARE(m_notices.size(), 3);
    QCOMPARE(m_notices.last(), QString::fromUtf8("打开文件失败."));
    QCOMPARE(m_notices.at(1), QString::fromUtf8("删除文件成功."));
    QCOMPARE(LogCapture::count("[E][FileOpen] Open file fail: File not exists."), 1);
}

void TestFileCommands::thumbnailsComeFromTheCacheSecondTime()
{
    DeviceProcess d({"--address", "127.0.0.9", "--no-mdns"});
    QVERIFY(d.isReady());
    QList<QByteArray> thumbs;
    const auto fetch = [&](qint64 dateModified) {
        auto* task = new FileThumb("/Pictures/sunrise.png", device("127.0.0.9"), dateModified, QModelIndex());
        connect(
            task, &FileThumb::getThumbEnd, this,
            [&](bool ok, const QByteArray& b, const QModelIndex&) { thumbs.append(ok ? b : QByteArray("FAILED")); },
            Qt::QueuedConnection);
        QThreadPool pool;
        pool.start(task);
        pool.waitForDone(5000);
    };
    fetch(1000);
    QTRY_COMPARE(thumbs.size(), 1);
    QImage image;
    QVERIFY(image.loadFromData(thumbs.first()));
    QCOMPARE(countIn(d, "get_thumb"), 1);
    fetch(1000);
    QTRY_COMPARE(thumbs.size(), 2);
    QCOMPARE(thumbs.at(1), thumbs.at(0));
    QCOMPARE(countIn(d, "get_thumb"), 1); // answered from the database: no datagram
    fetch(2000); // modified since: asked again
    QTRY_COMPARE(thumbs.size(), 3);
    QTRY_COMPARE(countIn(d, "get_thumb"), 2);
    QCOMPARE(
        QuorvelClientDatabase::instance()->getThumb("uuid-127.0.0.9", "/Pictures/sunrise.png", 2000), thumbs.at(2));
}

void TestFileCommands::thumbnailThatIsNotBase64StillCounts()
{
    DeviceProcess d({"--address", "127.0.0.10", "--no-mdns", "--lie", "bad-base64"});
    QVERIFY(d.isReady());
    bool result = false;
    bool got = false;
    auto* task = new FileThumb("/Pictures/lake.jpg", device("127.0.0.10"), 5, QModelIndex());
    connect(
        task, &FileThumb::getThumbEnd, this,
        [&](bool ok, const QByteArray&, const QModelIndex&) {
            result = ok;
            got = true;
        },
        Qt::QueuedConnection);
    QThreadPool pool;
    pool.start(task);
    QVERIFY(pool.waitForDone(5000));
    QTRY_VERIFY(got);
    QVERIFY(result);
}

void TestFileCommands::silentDeviceFailsQuietly()
{
    DeviceProcess d({"--address", "127.0.0.11", "--no-mdns", "--ignore", "file_delete", "--ignore", "get_thumb"});
    QVERIFY(d.isReady());
    bool result = true;
    bool thumbOk = true;
    QByteArray thumb = "x";
    auto* del = new FileDelete("/Quorvel/readme.txt", device("127.0.0.11"));
    connect(
        del, &FileDelete::deleteFileEnd, this, [&](bool r) { result = r; }, Qt::QueuedConnection);
    auto* t = new FileThumb("/Pictures/lake.jpg", device("127.0.0.11"), 1, QModelIndex());
    connect(
        t, &FileThumb::getThumbEnd, this,
        [&](bool ok, const QByteArray& b, const QModelIndex&) {
            thumbOk = ok;
            thumb = b;
        },
        Qt::QueuedConnection);
    QThreadPool pool;
    pool.start(del);
    pool.start(t);
    QVERIFY(pool.waitForDone(5000));
    QTRY_COMPARE(m_notices, QStringList{QString::fromUtf8("删除文件失败.")});
    QVERIFY(!result);
    QTRY_VERIFY(!thumbOk);
    QVERIFY(thumb.isEmpty());
    QVERIFY(LogCapture::lines().isEmpty()); // silence is not logged
}

void TestFileCommands::welcomeText()
{
    DeviceProcess d({"--address", "127.0.0.12", "--no-mdns"});
    QVERIFY(d.isReady());
    QThreadPool pool;
    pool.start(new SalutatorySetter(QString::fromUtf8("欢迎 \"贵宾\"\n光临"), device("127.0.0.12")));
    QVERIFY(pool.waitForDone(5000));
    QCOMPARE(d.waitForLog("event", "salutatory").value("text").toString(), QString::fromUtf8("欢迎 \"贵宾\"\n光临"));
    QTRY_COMPARE(m_notices, QStringList{QString::fromUtf8("设置欢迎辞成功.")});
}

void TestFileCommands::imageNames()
{
    QVERIFY(isImageFile("PHOTO.JPG"));
    QVERIFY(isImageFile("a.jpeg"));
    QVERIFY(isImageFile("x.Gif"));
    QVERIFY(!isImageFile("a.tiff"));
    QVERIFY(!isImageFile("png"));
    QVERIFY(!isImageFile("noextension"));
}

QTEST_GUILESS_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
