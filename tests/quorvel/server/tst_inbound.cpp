#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <cstdio>

#include "DeviceProcess.h"
#include "ScopedTiming.h"
#include "TaskWaiter.h"
#include "TestFiles.h"
#include "UdpProbe.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/protocol/ProtocolDefinedJsonObject.h"
#include "quorvel/server/FileDistribution.h"
#include "quorvel/server/IncomingFile.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/server/ServingSessions.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/transfer/FileDownloader.h"
#include "settings/Config.h"

// The inbound side in one process: offers, fetches with resumption in both offset forms,
// status queries, refusals, hostile names and a flood. What arrives never lands on
// anything that was already there, and what is served is served on a port held from the
// moment it was chosen.
class TestInbound : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fetches_data();
    void fetches();
    void expiredOfferIsRefused();
    void hostileNamesAreRefused_data();
    void hostileNamesAreRefused();
    void keepsAnsweringJunkAndAFlood();
    void twoOffersOfOneNameNeverOverwrite();
    void linkPlantedAtTheTargetIsNotFollowed();
    // Last: its sessions would shift the numbers fetches() expects.
    void servingPortIsHeldFromAllocation();
    void aNewContextServesAfresh();

private:
    void startContext();
    // Offers the file to a local address: this process's own listener takes the offer,
    // and it arrives as a question like any other party's. Returns the file's bytes.
    QByteArray offer(const QString& path, const QString& to, int size);
    QVariantMap fetch(UdpProbe& from, const QString& path)
    {
        const QVariantMap reply
            = from.ask(QHostAddress::LocalHost, 16021, {{"type", "file_download"}, {"file_path", path}});
        m_sessions += reply.value("result") == "ok";
        return reply;
    }
    // The answer to a status query: "ok", or the reason it is not.
    static QString status(UdpProbe& from, const QVariant& session, const QString& md5)
    {
        const QVariantMap reply = from.ask(
            QHostAddress::LocalHost, 16021, {{"type", "query_result"}, {"session_id", session}, {"md5", md5}});
        return reply.value("result") == "ok" ? "ok" : reply.value("reason").toString();
    }
    static QByteArray readFrom(quint16 port, qint64 count, const QByteArray& offset = QByteArray())
    {
        QTcpSocket s;
        s.bind(QHostAddress("127.0.0.3")); // the party the files are offered to
        s.connectToHost(QHostAddress::LocalHost, port);
        return s.waitForConnected(3000) && s.write(offset) >= 0 ? TestFiles::readUntil(s, count) : "not connected";
    }

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    QList<QPair<QString, ServerContent>> m_questions;
    QHash<QString, ProgressContent> m_served; // the last serving report of each file
    uint m_sessions = 0; // fetches that got a session: sessions and ports count up
    uint m_taken = 0; // ports that another program held
};

void TestInbound::initTestCase()
{
    Timing t;
    t.servingAcceptWaitMs = 3000;
    t.servingTcpWaitMs = 2000;
    t.downloadReplyWaitMs = 2000;
    t.downloadTcpWaitMs = 300;
    Timing::setForTests(t);
    startContext();
    const QString in = m_dir.filePath("in");
    const QString elsewhere = m_dir.filePath("elsewhere");
    QVERIFY(QDir().mkpath(in) && QDir().mkpath(elsewhere) && QFile::link(elsewhere, in + "/job"));
    QVERIFY(QFile::link(elsewhere + "/victim", in + "/passwd") && !TestFiles::patterned(in + "/.bashrc", 0).isEmpty());
}

void TestInbound::startContext()
{
    m_context = std::make_unique<AppContext>(m_dir.path());
    m_context->config()->setValue(Config::ClientName, "Server PC");
    m_context->discoveryListener()->start();
    OperateListener* listener = m_context->requests();
    QSignalSpy listening(listener, &OperateListener::listening);
    listener->start();
    QVERIFY(listening.count() || listening.wait(5000));
    connect(listener, &OperateListener::isDownloadFile, this, [this](const QString& path, const ServerContent& s) {
        m_questions.append({path, s});
    });
    connect(listener, &OperateListener::servingProgress, this,
        [this](const ProgressContent& p) { m_served.insert(p.nativePath, p); });
}

QByteArray TestInbound::offer(const QString& path, const QString& to, int size)
{
    ServerContent target;
    target.address = QHostAddress(to);
    target.port = 17000; // ignored: offers go to the operation port
    QFile f(TestFiles::patterned(path, size));
    if (!runTask(new FileDistribution(path, target, m_context->config()->clientName(), *m_context->offeredFiles())).ok
        || !QTest::qWaitFor([this] { return !m_questions.isEmpty(); }, 5000))
        return "not offered";
    const auto q = m_questions.takeLast();
    const bool asked
        = q.first == path && q.second.name == "Server PC" && q.second.uuid == ProtocolDefinedJsonObject::clientUuid();
    return asked && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("not asked as offered");
}

void TestInbound::fetches_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("how");
    QTest::newRow("whole") << "deck.pdf" << 50000 << "whole";
    // The party breaks the connection at 30 % and comes back with the count it holds. The
    // large file outgrows what the kernel buffers on loopback, so that the server is still
    // sending at the break (as over a real network).
    QTest::newRow("resumed, decimal offset") << "decimal.bin" << (16 << 20) << "decimal";
    QTest::newRow("resumed, binary offset") << "binary.bin" << (16 << 20) << "binary";
    // The small one has left whole before the break (its end got lost on the party's
    // side): the party comes back while the server lingers (pins a wait for a second
    // connection when the first was already pending).
    QTest::newRow("resumed while lingering") << "small.bin" << 65536 << "lingering";
    QTest::newRow("next port taken: skipped") << "port.bin" << 100 << "port taken";
}

void TestInbound::fetches()
{
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(QString, how);
    const int cut = how == "whole" || how == "port taken" ? 0 : size * 3 / 10;
    QTcpServer squatter;
    QVERIFY(
        how != "port taken" || squatter.listen(QHostAddress::Any, ServingSessions::FirstPort + m_sessions + m_taken++));
    const QString file = m_dir.filePath(name);
    const QByteArray whole = offer(file, "127.0.0.3", size);
    // Only the party it was offered to gets it, by the name it was offered under.
    UdpProbe stranger(QHostAddress("127.0.0.5"));
    UdpProbe peer(QHostAddress("127.0.0.3"));
    const QString otherName = m_dir.path() + "/../" + QFileInfo(m_dir.path()).fileName() + "/" + name;
    for (const QVariantMap& refused : {fetch(stranger, file), fetch(peer, "/etc/passwd"), fetch(peer, otherName)})
        QCOMPARE(refused.value("reason").toString(), QString("File not allow to download."));
    const QVariantMap reply = fetch(peer, file);
    const quint16 port = quint16(reply.value("tcp_port").toUInt());
    QVERIFY2(whole.size() == size && reply.value("result") == "ok" && reply.value("file_size").toInt() == size
            && reply.value("session_id").toUInt() == ServingSessions::FirstSession + m_sessions - 1
            && port == ServingSessions::FirstPort + m_sessions - 1 + m_taken,
        qPrintable(QtJson::serialize(reply)));
    // Nobody connected yet.
    QCOMPARE(status(peer, reply.value("session_id"), TestFiles::md5(whole)), QString("not_complete"));
    QByteArray received = readFrom(port, how == "lingering" ? size : cut ? cut : size).left(cut ? cut : size);
    if (cut) {
        char binary[8];
        qToLittleEndian<qint64>(cut, binary);
        received += readFrom(port, size - cut, how == "binary" ? QByteArray(binary, 8) : QByteArray::number(cut));
    }
    QVERIFY(received == whole);
    // The whole file arrived: the status says so, whatever was sent twice, and so does
    // the serving side's last report. A wrong MD5 gets the one that was sent.
    QTRY_COMPARE(status(peer, reply.value("session_id"), TestFiles::md5(whole)), QString("ok"));
    QCOMPARE(status(peer, reply.value("session_id"), "wrong"), TestFiles::md5(whole));
    QTRY_COMPARE(m_served.value(file).progress, int(ProgressContent::Done));
    QVERIFY(QFile::remove(file));
    QCOMPARE(fetch(peer, file).value("reason").toString(), QString("File not exists."));
}

// An offer stands for its lifetime: fetched within it, refused after it, and the log says why.
void TestInbound::expiredOfferIsRefused()
{
    const ScopedTiming timing([](Timing& t) { t.offerLifetimeMs = 2500; });
    const QString file = m_dir.filePath("slides.pdf");
    const QByteArray whole = offer(file, "127.0.0.3", 5000);
    const QDeadlineTimer expired(2600); // the offer's own lifetime began before its question came
    UdpProbe peer(QHostAddress("127.0.0.3"));
    const QVariantMap reply = fetch(peer, file);
    QVERIFY(!expired.hasExpired());
    QCOMPARE(readFrom(quint16(reply.value("tcp_port").toUInt()), whole.size()), whole);
    QVERIFY(QTest::qWaitFor([&] { return expired.hasExpired(); }, 5000));
    QTest::ignoreMessage(QtWarningMsg,
        QRegularExpression(
            "^\\[W\\]\\[ReplyOperate\\] Refused a fetch by .*127\\.0\\.0\\.3: the offer has expired\\.$"));
    QCOMPARE(fetch(peer, file).value("reason").toString(), QString("File not allow to download."));
}

void TestInbound::hostileNamesAreRefused_data()
{
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("name"); // empty: refused
    QTest::addColumn<QString>("target"); // where the file lands in the incoming folder
    const auto row = [](const char* tag, const QString& offered, const QString& name = "", const QString& target = "") {
        QTest::newRow(tag) << offered << name << (target.isEmpty() ? name : target);
    };
    row("plain", "report.pdf", "report.pdf");
    row("deep path, a name taken", "/home/u/docs/report.pdf", "report.pdf", "report (1).pdf");
    row("windows path", "C:\\Users\\u\\evil.exe");
    row("trailing slash", "/home/u/");
    row("dot", "/home/u/.");
    row("dot dot", "/home/u/..");
    row("only dots", "..");
    row("traversal, a dangling link there", "../../../etc/passwd", "passwd", "passwd (1)");
    row("absolute, a link to a folder there", "/etc/cron.d/job", "job", "job (1)");
    row("nul", QString::fromLatin1("a\0b.txt", 7));
    row("backslash traversal", "..\\..\\x");
    row("too long", QString(256, 'n'));
    row("long but fine", QString(255, 'n'), QString(255, 'n'));
    row("multibyte too long", QString(86, QChar(0x4e2d))); // 258 bytes in UTF-8
    row("hidden, a file there", "/x/.bashrc", ".bashrc", ".bashrc (1)");
    row("empty", "");
}

void TestInbound::hostileNamesAreRefused()
{
    QFETCH(QString, offered);
    QFETCH(QString, name);
    QFETCH(QString, target);
    QString reason;
    QCOMPARE(IncomingFile::nameOf(offered, &reason), name);
    QCOMPARE(reason.isEmpty(), !name.isEmpty());
    // The file is made beside what is there, never through a link, never over a file.
    if (!name.isEmpty())
        QCOMPARE(IncomingFile::targetIn(m_dir.filePath("in"), name, ServerContent(), offered),
            m_dir.filePath("in/" + target));
    QVERIFY(QDir(m_dir.filePath("elsewhere")).isEmpty());

    // Then a plain offer: once its question came and every request before it ended, a
    // refused name was never put to the user.
    m_questions.clear();
    UdpProbe peer(QHostAddress("127.0.0.8"));
    for (const QString& path : {offered, QString("/after.txt")})
        peer.send(QHostAddress::LocalHost, 16021,
            QVariantMap{{"type", "file_distribution"}, {"file_path", path}, {"name", "x"}, {"uuid", "y"}});
    QTRY_VERIFY(std::any_of(m_questions.cbegin(), m_questions.cend(), [](const auto& q) {
        return q.first == "/after.txt" && q.second.name == "x" && q.second.address == QHostAddress("127.0.0.8");
    }));
    QVERIFY(m_context->pool()->waitForDone(5000));
    QCoreApplication::processEvents();
    QCOMPARE(m_questions.size(), name.isEmpty() ? 1 : 2);
}

void TestInbound::keepsAnsweringJunkAndAFlood()
{
    const long before = TestFiles::processStatusKb(0);
    UdpProbe flood(QHostAddress("127.0.0.10"));
    const QByteArray wellFormedQuestion = R"({"version":"v1.0","uuid":"flooder","type":"client"})";
    const QByteArray wellFormedQuery = R"({"type":"query_result","session_id":7,"md5":"x"})";
    for (int i = 0; i < 10000; ++i) {
        const QByteArray junk = QByteArray::number(i) + QByteArray(i % 97, '{');
        flood.send(QHostAddress::LocalHost, 16020, junk);
        flood.send(QHostAddress::LocalHost, 16021, junk);
        flood.send(QHostAddress::LocalHost, 16020, wellFormedQuestion);
        flood.send(QHostAddress::LocalHost, 16021, wellFormedQuery);
        if (i % 500 == 0)
            QCoreApplication::processEvents();
    }
    QVERIFY(m_context->pool()->waitForDone(60000));
    QCoreApplication::processEvents();
    // Still answering, both ports; a type in the wrong case is no type (never answered).
    UdpProbe probe(QHostAddress("127.0.0.11"));
    probe.send(QHostAddress::LocalHost, 16021, QVariantMap{{"type", "File_download"}, {"file_path", "x"}});
    const QVariantMap unknown
        = probe.ask(QHostAddress::LocalHost, 16021, {{"type", "query_result"}, {"session_id", 12345}, {"md5", "x"}});
    QVERIFY(unknown.value("result") == "fail" && unknown.value("reason") == "not such sessionID");
    QCOMPARE(unknown.value("session_id").toUInt(), 12345u); // the session asked about
    probe.send(QHostAddress::LocalHost, 16020, wellFormedQuestion);
    QVERIFY(probe.receive(3000).isValid());
    QVERIFY(!probe.receive(300).isValid());
    const long growth = TestFiles::processStatusKb(0) - before;
    fprintf(stderr, "RSS growth over the flood: %ld kB\n", growth); // reported figure
    QVERIFY2(growth < 64 * 1024, qPrintable(QString::number(growth)));
}

// The target is held when chosen (nothing is made before bytes arrive): a second offer of
// the name, chosen before the first wrote a byte, gets a name of its own.
void TestInbound::twoOffersOfOneNameNeverOverwrite()
{
    const QString folder = m_dir.filePath("twice");
    QVERIFY(QDir().mkpath(folder) && TestFiles::write(folder + "/a.txt", "mine"));
    for (const QString& name : QStringList{"/a (1).txt", "/a (2).txt"}) {
        QCOMPARE(IncomingFile::targetIn(folder, "a.txt", ServerContent(), "/a.txt"), folder + name);
        QVERIFY(!QFileInfo::exists(folder + name + ".part") && !QFileInfo::exists(folder + name));
    }
    QCOMPARE(TestFiles::read(folder + "/a.txt"), QByteArray("mine"));
    QString reason; // a file where the folder should be
    QVERIFY(IncomingFile::targetIn(folder + "/a.txt", "b.txt", ServerContent(), "/b.txt", &reason).isEmpty());
    QVERIFY2(reason.contains("cannot create"), qPrintable(reason));
}

void TestInbound::linkPlantedAtTheTargetIsNotFollowed()
{
    QUORVEL_DEVICE(device, {"--address", "127.0.0.30", "--no-mdns"});
    const QString folder = m_dir.filePath("links");
    QVERIFY(QDir().mkpath(folder));
    const QString victim = m_dir.filePath("precious.txt");
    QVERIFY(!TestFiles::patterned(victim, 8).isEmpty());
    const QString precious = TestFiles::md5Of(victim);

    // Someone swaps the chosen target for a link to another file before the bytes come.
    const ServerContent from = DeviceProcess::serverAt("127.0.0.30");
    const QString target = IncomingFile::targetIn(folder, "readme.txt", from, "/Quorvel/readme.txt");
    QVERIFY(!QFileInfo::exists(target)); // nothing is made before bytes arrive
    QVERIFY(QFile::link(victim, target));
    int outcome = 0;
    {
        FileDownloader task("/Quorvel/readme.txt", target, from, 0);
        connect(&task, &FileDownloader::updateProgress, this, [&](const ProgressContent& p) { outcome = p.progress; });
        task.run();
    }
    // The file lands beside the link, which stays as it is.
    QCOMPARE(outcome, int(ProgressContent::Done));
    QCOMPARE(TestFiles::md5Of(victim), precious);
    QVERIFY(QFileInfo(target).isSymLink());
    QVERIFY(QFileInfo(folder + "/readme (1).txt").isFile());
}

void TestInbound::servingPortIsHeldFromAllocation()
{
    uint firstSession = 0;
    uint secondSession = 0;
    const std::unique_ptr<QTcpServer> first = m_context->servingSessions()->allocate(&firstSession);
    const std::unique_ptr<QTcpServer> second = m_context->servingSessions()->allocate(&secondSession);
    QVERIFY(first && first->isListening());
    QVERIFY(second && second->isListening());
    QVERIFY(firstSession != secondSession);
    QVERIFY(first->serverPort() != second->serverPort());

    // Nobody can take the port between its choice and the party's connection...
    QTcpServer squatter;
    QVERIFY(!squatter.listen(QHostAddress::Any, first->serverPort()));
    // ... and the party reaches this listener on it.
    QTcpSocket party;
    party.connectToHost(QHostAddress::LocalHost, first->serverPort());
    QVERIFY(party.waitForConnected(3000));
    QVERIFY(first->hasPendingConnections() || first->waitForNewConnection(3000));
}

// The serving tables are the context's: one made after another ended serves as the first
// did, from the first session on (the end of the other stopped only its own servings).
void TestInbound::aNewContextServesAfresh()
{
    m_context.reset();
    m_questions.clear();
    startContext();
    const QString file = m_dir.filePath("again.bin");
    const QByteArray whole = offer(file, "127.0.0.3", 1000);
    UdpProbe peer(QHostAddress("127.0.0.3"));
    const QVariantMap reply = fetch(peer, file);
    QCOMPARE(reply.value("session_id").toUInt(), ServingSessions::FirstSession);
    QCOMPARE(readFrom(quint16(reply.value("tcp_port").toUInt()), whole.size()), whole);
}

QTEST_GUILESS_MAIN(TestInbound)
#include "tst_inbound.moc"
