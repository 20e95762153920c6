#include <QImage>
#include <QtTest>

#include "DeviceProcess.h"
#include "ScopedTiming.h"
#include "TaskWaiter.h"
#include "TestFiles.h"
#include "UdpProbe.h"
#include "Watchdog.h"
#include "app/AppContext.h"
#include "quorvel/browse/FileDelete.h"
#include "quorvel/browse/FileFinder.h"
#include "quorvel/browse/FileOpen.h"
#include "quorvel/browse/FileThumb.h"
#include "quorvel/browse/RemoteFolder.h"
#include "quorvel/browse/SalutatorySetter.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/tasks/UserNotices.h"
#include "settings/Config.h"

// Listing and the single-request commands against the simulated device: what they ask,
// what they report, and how they end.
class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listingRequestBytesAndKeylessEntries();
    void commands_data();
    void commands();
    void thumbnailsComeFromTheCacheSecondTime();
    void browserClosedWithWorkQueuedAndWaiting();
    void imageNames();

private:
    // A task of the command, whose own reports (notices, end signals) land in m_reports.
    // "list" lists by name increasing, "list decreasing" the other way.
    Task* make(const QString& command, const QString& argument, const ServerContent& device, qint64 dateModified = 1);

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    QStringList m_reports;
    QList<FileContent> m_listed;
    QList<QByteArray> m_thumbs;
};

void TestFileCommands::initTestCase()
{
    m_context = std::make_unique<AppContext>(m_dir.path());
    Timing t;
    t.listingWaitMs = 400;
    t.commandWaitMs = 400;
    Timing::setForTests(t);
    // Direct: a notice is then recorded before the end of the task that made it.
    connect(UserNotices::instance(), &UserNotices::notify, this, [this](const QString& n) { m_reports.append(n); });
}

Task* TestFileCommands::make(
    const QString& command, const QString& argument, const ServerContent& device, qint64 dateModified)
{
    if (command.startsWith("list")) {
        auto* task = new FileFinder(argument, command == "list" ? "file_name_increase" : "file_name_decrease", device);
        connect(task, &FileFinder::findFileEnd, this, [this](const QList<FileContent>& list) {
            m_listed = list;
            QString names = "listed";
            for (const FileContent& f : list)
                names += " " + f.name + (f.isDir() ? "/" : "");
            m_reports.append(names);
        });
        return task;
    }
    if (command == "delete") {
        auto* task = new FileDelete(argument, device);
        connect(task, &FileDelete::deleteFileEnd, this, [this](bool ok) { m_reports.append(ok ? "deleted" : "kept"); });
        return task;
    }
    if (command == "thumb") {
        auto* task = new FileThumb(argument, device, dateModified, QModelIndex(), m_context->database());
        connect(task, &FileThumb::getThumbEnd, this, [this](bool ok, const QByteArray& bytes, const QModelIndex&) {
            m_thumbs.append(bytes);
            m_reports.append(ok ? "thumb" : bytes.isEmpty() ? "no thumb" : "no thumb, but bytes");
        });
        return task;
    }
    if (command == "open")
        return new FileOpen(argument, device);
    return new SalutatorySetter(argument, device);
}

void TestFileCommands::listingRequestBytesAndKeylessEntries()
{
    // A hand-made device: checks the request's exact bytes and answers with entries that
    // lack keys, from another port (a listing takes any datagram).
    UdpProbe fake(QHostAddress("127.0.0.7"), 16021);
    Task* finder = make("list", "/Pictures/2024", DeviceProcess::serverAt("127.0.0.7"));
    TaskWaiter waiter(finder);
    QThreadPool::globalInstance()->start(finder);
    const QNetworkDatagram request = fake.receive(5000);
    QCOMPARE(request.data(),
        QByteArray("{ \"file_path\" : \"/Pictures/2024\", \"key\" : \"0\", \"sort\" : "
                   "\"file_name_increase\", \"type\" : \"file_list\" }"));
    UdpProbe other(QHostAddress("127.0.0.7"));
    other.send(request.senderAddress(), quint16(request.senderPort()),
        QByteArray("{\"file_list\":[{},{\"file_name\":\"x\"}],\"finished\":true}"));
    QVERIFY(waiter.wait() && waiter.outcome().ok);
    QCOMPARE(m_listed.size(), 2);
    const FileContent keyless = m_listed.at(0);
    QVERIFY(keyless.name == "AAA" && keyless.type == "type" && keyless.size == 10 && keyless.dateModified == 10);
    QCOMPARE(m_listed.at(1).name, QString("x"));
}

void TestFileCommands::commands_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("words"); // in the outcome's text (the reason names the device); empty: it worked
    QTest::addColumn<QStringList>("reports"); // notices and end signals, in order
    QTest::addColumn<QString>("request"); // what the device received; empty: not checked
    const auto row = [](const char* tag, const QString& command, const QStringList& options, const QString& argument,
                         const QString& words, const QStringList& reports, const QString& request = QString()) {
        QTest::newRow(tag) << command << options << argument << words << reports << request;
    };
    const QString welcome = QString::fromUtf8("欢迎 \"贵宾\"\n光临");
    // The device's root also holds Music and pictures (lower case): only the known folders show.
    row("list the root", "list", {}, "", "", {"listed Pictures/ Quorvel/ Whiteboard/"});
    row("list a folder, the device's order", "list decreasing", {}, "/Pictures", "",
        {"listed sunrise.png lake.jpg 2024/"});
    row("list, one entry per datagram", "list", {"--list-chunk", "1"}, "/Pictures", "",
        {"listed 2024/ lake.jpg sunrise.png"});
    // Without "finished", the task waits for more before it delivers.
    row("list, never finished", "list", {"--list-without-finished"}, "/Pictures", "",
        {"listed 2024/ lake.jpg sunrise.png"});
    row("open a secure file", "open", {}, "secure:/a.txt", "", {"File opened."},
        "{ \"file_path\" : \"a.txt\", \"option\" : \"secure\", \"type\" : \"file_open\" }");
    row("delete a secure file", "delete", {}, "secure:/a.txt", "", {"File deleted.", "deleted"},
        "{ \"file_path\" : \"secure:/a.txt\", \"type\" : \"file_delete\" }");
    row("welcome text", "welcome", {}, welcome, "", {"Welcome text set."},
        QString::fromUtf8("{ \"salutatory\" : \"欢迎 \\\"贵宾\\\"\\n光临\", \"type\" : \"salutatory\" }"));
    // Text that is not Base64 still counts: what it decodes to is the thumbnail.
    row("thumbnail that is not base64", "thumb", {"--lie", "bad-base64"}, "/Pictures/lake.jpg", "", {"thumb"});
    row("open what is not there", "open", {}, "/Quorvel/none.txt", "could not open /Quorvel/none.txt: File not exists.",
        {"The file could not be opened."});
    // A listing that fails delivers nothing: the browser keeps what it shows.
    row("list what is not there", "list", {}, "/Nowhere", "could not list /Nowhere: No such directory.", {});
    row("list, not json", "list", {"--lie", "not-json"}, "/Pictures", "not valid", {});
    // A device that ignores the request: the outcome says so (the log does not).
    row("list, silent", "list", {"--ignore", "file_list"}, "/Pictures", "did not answer", {"listed"});
    row("open, silent", "open", {"--ignore", "file_open"}, "/a.txt", "did not answer",
        {"The file could not be opened."});
    row("delete, silent", "delete", {"--ignore", "file_delete"}, "/a.txt", "did not answer",
        {"The file could not be deleted.", "kept"});
    row("thumbnail, silent", "thumb", {"--ignore", "get_thumb"}, "/Pictures/sunrise.png", "did not answer",
        {"no thumb"});
    row("welcome text, silent", "welcome", {"--ignore", "salutatory"}, welcome, "did not answer",
        {"The welcome text could not be set."});
}

void TestFileCommands::commands()
{
    QFETCH(QString, command);
    QFETCH(QStringList, options);
    QFETCH(QString, argument);
    QFETCH(QString, words);
    QFETCH(QStringList, reports);
    QFETCH(QString, request);
    QUORVEL_DEVICE(d, QStringList{"--address", "127.0.0.5", "--no-mdns"} + options);
    QVERIFY(QDir(d.folder()).mkdir("Music") && QDir(d.folder()).mkdir("pictures"));
    const QString secret = TestFiles::patterned(d.secureFolder() + "/a.txt", 1);
    m_reports.clear();
    QElapsedTimer timer;
    timer.start();
    const TaskOutcome outcome = runTask(make(command, argument, DeviceProcess::serverAt("127.0.0.5")));
    QCOMPARE(outcome.ok, words.isEmpty());
    QVERIFY2(outcome.ok || (outcome.reason.startsWith("127.0.0.5 ") && outcome.text().contains(words)),
        qPrintable(outcome.text()));
    QCOMPARE(m_reports, reports);
    QCOMPARE(QFileInfo::exists(secret), !(command == "delete" && outcome.ok));
    if (!request.isEmpty())
        QTRY_COMPARE(d.logWhere("dir", "in").last().value("payload").toString(), request);
    if (options.contains("--list-chunk")) // the device logs a datagram after it sent it
        QTRY_COMPARE(d.logWhere("dir", "out").size(), 3);
    if (options.contains("--list-without-finished"))
        QVERIFY(timer.elapsed() >= Timing::current().listingWaitMs);
}

void TestFileCommands::thumbnailsComeFromTheCacheSecondTime()
{
    QUORVEL_DEVICE(d, {"--address", "127.0.0.9", "--no-mdns"});
    m_thumbs.clear();
    const ServerContent device = DeviceProcess::serverAt("127.0.0.9");
    QVERIFY(runTask(make("thumb", "/Pictures/sunrise.png", device, 1000)).ok);
    QImage image;
    QVERIFY(m_thumbs.size() == 1 && image.loadFromData(m_thumbs.first()));
    QCOMPARE(d.requests("get_thumb").size(), 1);
    QVERIFY(runTask(make("thumb", "/Pictures/sunrise.png", device, 1000)).ok);
    QCOMPARE(m_thumbs.value(1), m_thumbs.at(0));
    QCOMPARE(d.requests("get_thumb").size(), 1); // answered from the database: no datagram
    QVERIFY(runTask(make("thumb", "/Pictures/sunrise.png", device, 2000)).ok); // modified since: asked again
    QTRY_COMPARE(d.requests("get_thumb").size(), 2);
    QCOMPARE(m_context->database()->getThumb(device.uuid, "/Pictures/sunrise.png", 2000), m_thumbs.value(2));
}

// A browser closed (its tab, its device gone) while a listing waits for a device that
// never answers, more listings and a delete wait their turn and four thumbnails wait too:
// it ends at once and nothing touches a task its pool has deleted (the sanitizer build
// runs this test).
void TestFileCommands::browserClosedWithWorkQueuedAndWaiting()
{
    const ScopedTiming timing([](Timing& t) { t.listingWaitMs = t.commandWaitMs = 60000; });

    UdpProbe silent(QHostAddress("127.0.0.13"), 16021);
    auto* folder = new RemoteFolder(
        DeviceProcess::serverAt("127.0.0.13"), *m_context->transfers(), *m_context->config(), m_context->database());
    folder->list("a");
    folder->list("b");
    folder->remove("c");
    folder->list("d");
    for (int i = 0; i < RemoteFolder::ThumbThreads + 8; ++i)
        folder->fetchThumb(QString("p%1.png").arg(i), 1, QModelIndex());
    // Everything that can run is waiting on the device: one listing, four thumbnails.
    for (int i = 0; i < 1 + RemoteFolder::ThumbThreads; ++i)
        QVERIFY(silent.receive(10000).isValid());

    const qint64 ms = millisecondsOf([&] { delete folder; });
    qInfo("browser closed in %lld ms", ms);
    QVERIFY2(ms < 2000, qPrintable(QString("closing took %1 ms").arg(ms)));
}

void TestFileCommands::imageNames()
{
    for (const char* name : {"PHOTO.JPG", "a.jpeg", "x.Gif"})
        QVERIFY(isImageFile(name));
    for (const char* name : {"a.tiff", "png", "noextension"})
        QVERIFY(!isImageFile(name));
}

QTEST_GUILESS_MAIN(TestFileCommands)
#include "tst_filecommands.moc"
