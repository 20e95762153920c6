#include <QImage>
#include <QtTest>

#include "DeviceProcess.h"
#include "ScopedTiming.h"
#include "TaskWaiter.h"
#include "TestFiles.h"
#include "UdpProbe.h"
#include "Watchdog.h"
#include "app/AppContext.h"
#include "quorvel/browse/FileFinder.h"
#include "quorvel/browse/FileThumb.h"
#include "quorvel/browse/RemoteFolder.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"

// Listing, thumbnails and the device actions (open, delete, welcome text) against the
// simulated device: what they ask, what they report, and how they end.
class TestFileCommands : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listingRequestBytesAndKeylessEntries();
    void commands_data();
    void commands();
    void thumbnailsComeFromTheCacheSecondTime();
    void closedWithWorkQueuedAndWaiting();
    void imageNames();

private:
    // A task of the command, whose own reports (end signals) land in m_reports. "list"
    // lists by name increasing, "list decreasing" the other way.
    Task* make(const QString& command, const QString& argument, const ServerContent& device, qint64 dateModified = 1);
    // Asks the context's device actions for "open", "delete" or "welcome"; its number.
    quint64 ask(const QString& command, const QString& argument, const ServerContent& device);
    // ask(), then its result; its notice lands in m_reports.
    DeviceActionResult act(const QString& command, const QString& argument, const ServerContent& device);

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
    if (command == "thumb") {
        auto* task = new FileThumb(argument, device, dateModified, QModelIndex(), m_context->database());
        connect(task, &FileThumb::getThumbEnd, this, [this](bool ok, const QByteArray& bytes, const QModelIndex&) {
            m_thumbs.append(bytes);
            m_reports.append(ok ? "thumb" : bytes.isEmpty() ? "no thumb" : "no thumb, but bytes");
        });
        return task;
    }
    return nullptr;
}

quint64 TestFileCommands::ask(const QString& command, const QString& argument, const ServerContent& device)
{
    DeviceActions* actions = m_context->actions();
    return command == "open"  ? actions->open(device, argument)
        : command == "delete" ? actions->remove(device, argument)
                              : actions->setWelcome(device, argument);
}

DeviceActionResult TestFileCommands::act(const QString& command, const QString& argument, const ServerContent& device)
{
    QSignalSpy finished(m_context->actions(), &DeviceActions::finished);
    const quint64 id = ask(command, argument, device);
    if (!finished.wait(10000) || finished.size() != 1)
        return DeviceActionResult();
    const auto result = finished.first().first().value<DeviceActionResult>();
    if (result.id == id)
        m_reports.append(result.notice());
    return result;
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
    row("delete a secure file", "delete", {}, "secure:/a.txt", "", {"File deleted."},
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
        {"The file could not be deleted."});
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
    const ServerContent device = DeviceProcess::serverAt("127.0.0.5");
    TaskOutcome outcome;
    if (Task* task = make(command, argument, device)) {
        outcome = runTask(task);
    } else {
        // What was asked, of which device, comes back with the outcome.
        const DeviceActionResult result = act(command, argument, device);
        QCOMPARE(DeviceActionResult::word(result.action), command);
        QVERIFY(result.argument == argument && result.device.address == device.address);
        outcome = result.outcome;
    }
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
// never answers, more listings wait their turn, a delete waits and four thumbnails wait
// too: it ends at once and nothing touches a task its pool has deleted (the sanitizer
// build runs this test). Then the application ends while device actions wait on that
// device: ending does not wait out their time-outs either.
void TestFileCommands::closedWithWorkQueuedAndWaiting()
{
    const ScopedTiming timing([](Timing& t) { t.listingWaitMs = t.commandWaitMs = 60000; });

    UdpProbe silent(QHostAddress("127.0.0.13"), 16021);
    const ServerContent device = DeviceProcess::serverAt("127.0.0.13");
    auto* folder = new RemoteFolder(
        device, *m_context->transfers(), *m_context->actions(), *m_context->config(), m_context->database());
    folder->list("a");
    folder->list("b");
    folder->remove("c");
    folder->list("d");
    for (int i = 0; i < RemoteFolder::ThumbThreads + 8; ++i)
        folder->fetchThumb(QString("p%1.png").arg(i), 1, QModelIndex());
    // Everything that can run is waiting on the device: one listing, the delete, four thumbnails.
    for (int i = 0; i < 2 + RemoteFolder::ThumbThreads; ++i)
        QVERIFY(silent.receive(10000).isValid());

    qint64 ms = millisecondsOf([&] { delete folder; });
    qInfo("browser closed in %lld ms", ms);
    QVERIFY2(ms < 2000, qPrintable(QString("closing took %1 ms").arg(ms)));

    // As many wait on the device as the pool runs at once; the others wait their turn.
    for (const char* command : {"open", "delete", "welcome"})
        ask(command, "/a.txt", device);
    for (int i = 0; i < qMin(3, m_context->pool()->maxThreadCount()); ++i)
        QVERIFY(silent.receive(10000).isValid());
    ms = millisecondsOf([&] { m_context.reset(); });
    m_context = std::make_unique<AppContext>(m_dir.path());
    qInfo("application ended in %lld ms", ms);
    QVERIFY2(ms < 2000, qPrintable(QString("ending took %1 ms").arg(ms)));
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
