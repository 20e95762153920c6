#include <QtTest>
#include <sched.h>
#include <sys/mount.h>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "ScopedTiming.h"
#include "TestFiles.h"
#include "TestNetwork.h"
#include "Watchdog.h"
#include "app/AppContext.h"
#include "platform/UserInteraction.h"
#include "quorvel/browse/RemoteFolder.h"
#include "quorvel/services/OfferInbox.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/transfer/FileDownloader.h"
#include "quorvel/transfer/FileTransferServer.h"
#include "quorvel/transfer/PartialFile.h"
#include "settings/Config.h"

// The user of the tests below: answers whether to replace an existing file as told, and
// holds every question about offers open until the test answers it.
class ScriptedUser : public UserInteraction {
public:
    void warning(const QString&, const QString&) override { }
    ExistingFile askExistingFile(const QString& path) override
    {
        askedToReplace.append(path);
        return answer;
    }
    void askAcceptOffers(const QList<OfferedFile>& offers, std::function<void(QList<bool>)> answer) override
    {
        asked.append(offers);
        answers.append(answer);
    }
    ExistingFile answer = ExistingFile::KeepBoth;
    QStringList askedToReplace;
    QList<QList<OfferedFile>> asked;
    QList<std::function<void(QList<bool>)>> answers;
};

// Receiving from parties that may be hostile, by trust boundary: landing a file beside
// what is there, bounds, disk. The parties are simulated devices on hosts (or addresses) of
// their own; the client is quorvelctl on its own host, or the download task itself where
// the test shortens its time-outs.
class TestReceiving : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void landing_data();
    void landing();
    void browserAsksBeforeReplacing_data();
    void browserAsksBeforeReplacing();
    void floodOfOffers();
    void offersAreAskedTogetherAndCapped();
    // Last: it may move this thread into a mount namespace of its own.
    void bounds_data();
    void bounds();

private:
    QTemporaryDir m_app;
    std::unique_ptr<AppContext> m_context;
    QTemporaryDir m_served; // what the devices serve
    QString m_sourceMd5;
};

void TestReceiving::initTestCase()
{
    // A download that lands writes its history record.
    m_context = std::make_unique<AppContext>(m_app.path());
    QVERIFY(QDir().mkpath(m_served.filePath("docs")));
    m_sourceMd5 = TestFiles::md5Of(TestFiles::patterned(m_served.filePath("docs/report.bin"), 300 * 1024));
    QVERIFY(!TestFiles::patterned(m_served.filePath("docs/big.bin"), 2 * 1024 * 1024).isEmpty());
    QVERIFY(!TestFiles::patterned(m_served.filePath("docs/mid.bin"), 700 * 1024).isEmpty());
    QVERIFY(!TestFiles::patterned(m_served.filePath("top.bin"), 5000).isEmpty());
}

// One rule wherever a file lands: never over what is there (a part the client did not
// write included, whatever happens around it), unless --overwrite.
void TestReceiving::landing_data()
{
    QTest::addColumn<QString>("how"); // "serve": the device offers; "download": quorvelctl, once or twice
    QTest::addColumn<QStringList>("args"); // the device's (serve), the download's options (download)
    QTest::addColumn<QString>("there"); // the user's file in the inbox before
    QTest::addColumn<QStringList>("files"); // in the inbox after
    QTest::addColumn<QStringList>("fresh"); // of those, the files holding the download
    const QString part = "report.bin.part", old = "report.bin", beside = "report (1).bin";
    QTest::newRow("offered, a part there")
        << "serve" << QStringList() << part << QStringList{beside, part} << QStringList{beside};
    // The sender calls the fetch broken.
    QTest::newRow("offered, md5 mismatch, a part there")
        << "serve" << QStringList{"--lie", "bad-md5"} << part << QStringList{part} << QStringList();
    QTest::newRow("downloaded, a part there")
        << "download" << QStringList() << part << QStringList{beside, part} << QStringList{beside};
    QTest::newRow("downloaded twice") << "download twice" << QStringList() << "" << QStringList{beside, old}
                                      << QStringList{beside, old};
    QTest::newRow("over an old file") << "download" << QStringList() << old << QStringList{beside, old}
                                      << QStringList{beside};
    QTest::newRow("--overwrite") << "download" << QStringList{"--overwrite"} << old << QStringList{old}
                                 << QStringList{old};
    QTest::newRow("-o naming a file that is there") << "download" << QStringList{"-o", "INBOX/report.bin"} << old
                                                    << QStringList{beside, old} << QStringList{beside};
}

void TestReceiving::landing()
{
    QFETCH(QString, how);
    QFETCH(QStringList, args);
    QFETCH(QString, there);
    QFETCH(QStringList, files);
    QFETCH(QStringList, fresh);
    QUORVEL_TEST_NETWORK(net, 2);
    const QStringList deviceArgs = how == "serve" ? args : QStringList();
    QUORVEL_DEVICE(device, QStringList{"--no-mdns", "--folder", m_served.path()} + deviceArgs, net.prefix(0));
    ClientFolder client(ClientFolder::CommandLineOnly);
    QVERIFY(client.isValid() && client.makeInbox());
    const QByteArray mine = "the user's own bytes, nothing to do with the download";
    QVERIFY(there.isEmpty() || TestFiles::write(client.inbox() + "/" + there, mine));
    if (how == "serve") {
        TestFiles::Output served(net.start(1, client.ctlProgram(), {"serve", "--accept"}));
        QVERIFY2(served.waitFor("serving"), served.both().constData());
        device.command("offer " + net.address(1).toString().toUtf8() + " /docs/report.bin");
        QVERIFY2(fresh.isEmpty() ? served.waitFor("receiving /docs/report.bin failed", true)
                                 : served.waitFor("received /docs/report.bin"),
            served.both().constData());
    }
    args.replaceInStrings("INBOX", client.inbox());
    const int downloads = how == "serve" ? 0 : how == "download twice" ? 2 : 1;
    for (int i = 0; i < downloads; ++i) {
        const QStringList download{
            "download", net.address(0).toString(), "/docs/report.bin", "-o", client.inbox() + "/"};
        QByteArray out;
        QCOMPARE(net.run(1, client.ctlProgram(), download + args, &out, 60000), 0);
    }
    QCOMPARE(client.inboxFiles(), files);
    for (const QString& name : fresh)
        QCOMPARE(TestFiles::md5Of(client.inbox() + "/" + name), m_sourceMd5);
    if (!there.isEmpty() && !fresh.contains(there))
        QCOMPARE(TestFiles::read(client.inbox() + "/" + there), mine);
}

// The browser's download asks before it lands on a file that is there.
void TestReceiving::browserAsksBeforeReplacing_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("fresh"); // the file holding the download; empty: none
    using E = UserInteraction::ExistingFile;
    QTest::newRow("replace") << int(E::Replace) << QStringList{"top.bin"} << "top.bin";
    QTest::newRow("keep both") << int(E::KeepBoth) << QStringList{"top (1).bin", "top.bin"} << "top (1).bin";
    QTest::newRow("cancel") << int(E::Cancel) << QStringList{"top.bin"} << "";
}

void TestReceiving::browserAsksBeforeReplacing()
{
    QFETCH(int, answer);
    QFETCH(QStringList, files);
    QFETCH(QString, fresh);
    QUORVEL_DEVICE(device, {"--address", "127.0.0.53", "--no-mdns", "--folder", m_served.path()});
    QTemporaryDir down;
    QVERIFY(m_context->config()->setValue(Config::DownloadPath, down.path()));
    QVERIFY(TestFiles::write(down.filePath("top.bin"), "the user's top.bin"));
    ScriptedUser user;
    user.answer = UserInteraction::ExistingFile(answer);
    m_context->transfers()->setUser(&user);
    const ServerContent from = DeviceProcess::serverAt("127.0.0.53");
    RemoteFolder folder(
        from, *m_context->transfers(), *m_context->actions(), *m_context->config(), m_context->database());
    QSignalSpy progress(&folder, &RemoteFolder::downloadProgress);
    QString reason;
    const bool started = folder.download("top.bin", 0, &reason);
    m_context->transfers()->setUser(nullptr);
    QCOMPARE(user.askedToReplace, QStringList{down.filePath("top.bin")});
    QCOMPARE(started, !fresh.isEmpty());
    if (started)
        QTRY_VERIFY(!progress.isEmpty() && progress.last().at(0).value<ProgressContent>().isFinal());
    else
        QVERIFY(reason.contains("is there already"));
    QCOMPARE(QDir(down.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), files);
    if (!fresh.isEmpty())
        QCOMPARE(TestFiles::md5Of(down.filePath(fresh)), TestFiles::md5Of(m_served.filePath("top.bin")));
    if (fresh != "top.bin")
        QCOMPARE(TestFiles::read(down.filePath("top.bin")), QByteArray("the user's top.bin"));
}

// 20,000 forged offers from a third host: nothing is created for them, memory stays
// bounded, and a real offer from another host is received while the flood's held offers
// still wait their turn: it is not queued behind them (the old inbox fetched it only
// after all of them). The log's summing up: offersAreAskedTogetherAndCapped.
void TestReceiving::floodOfOffers()
{
    QUORVEL_TEST_NETWORK(net, 3);
    DeviceProcess real({"--no-mdns", "--folder", m_served.path()}, net.prefix(0));
    // The flooder never serves what it offers: every fetch waits out its time.
    DeviceProcess flooder({"--no-mdns", "--ignore", "file_download"}, net.prefix(2));
    QVERIFY(real.isReady() && flooder.isReady());
    ClientFolder client(ClientFolder::CommandLineOnly);
    QVERIFY(client.isValid() && client.makeInbox());
    TestFiles::Output served(net.start(1, client.ctlProgram(), {"serve", "--accept"}));
    QVERIFY2(served.waitFor("serving"), served.both().constData());
    const qint64 pid = served.process->processId();
    const long before = TestFiles::processStatusKb(pid);

    flooder.command("offer-flood " + net.address(1).toString().toUtf8() + " 20000");
    QVERIFY(flooder.waitForOutput("flooded", 60000));
    real.command("offer " + net.address(1).toString().toUtf8() + " /docs/report.bin");
    // A bound that only means "hung": the flood's fetches end two at a time, each after
    // its full wait, so the old inbox would still be far from the real offer by then.
    QVERIFY2(served.waitFor("received /docs/report.bin", false, 180000),
        (served.out.right(1000) + served.err.right(1000)).constData());
    const int floodEnded = served.err.count("receiving /flood/");
    const long after = TestFiles::processStatusKb(pid);
    fprintf(stderr, "flood of 20000 offers: RSS %ld kB before, %ld kB after (peak %ld kB); %d declined, %d ended\n",
        before, after, TestFiles::processStatusKb(pid, "VmHWM:"), int(served.out.count("declined /flood/")),
        floodEnded);
    // At most a party's share is held; the rest is declined, not queued.
    QVERIFY2(served.out.count("declined /flood/") >= 1000, served.out.right(1000).constData());
    QVERIFY2(floodEnded < OfferInbox::Limits().perParty / 2, qPrintable(QString::number(floodEnded)));
    QCOMPARE(client.inboxFiles(), QStringList{"report.bin"});
    QVERIFY2(after - before < 24 * 1024, qPrintable(QString::number(after - before)));
    served.process->terminate();
    QVERIFY(served.process->waitForFinished(10000));
}

// Offers that come while a question is open are asked about together in the next one;
// what is held is capped per party and in all, and what goes over is declined and summed
// up in one log line.
void TestReceiving::offersAreAskedTogetherAndCapped()
{
    const ScopedTiming timing([](Timing& t) {
        t.offerDeclineReportMs = 200;
        t.downloadReplyWaitMs = 100; // the batch's fetches below: nobody answers them
    });
    ScriptedUser user;
    TransferQueue transfers(
        *m_context->uploads(), *m_context->config(), m_context->database(), *m_context->offeredFiles());
    transfers.setUser(&user);
    OfferInbox::Limits limits;
    limits.perParty = 2;
    limits.inAll = 16;
    OfferInbox inbox(&transfers, *m_context->config(), limits);
    QSignalSpy declined(&inbox, &OfferInbox::declined);
    const auto party = [](int n) {
        ServerContent s;
        s.address = QHostAddress(QStringLiteral("198.51.100.%1").arg(n));
        return s;
    };
    inbox.onOffered("/a.txt", party(1));
    inbox.onOffered("/b.txt", party(1));
    inbox.onOffered("/c.txt", party(1)); // a third from one party: over the limit
    inbox.onOffered("/d.txt", party(2));
    QCOMPARE(user.asked.size(), 1);
    QCOMPARE(declined.size(), 1);
    QVERIFY(declined.first().at(1).toString().contains("too many offers"));
    user.answers.takeFirst()({false});
    QCOMPARE(user.asked.size(), 2);
    const QList<UserInteraction::OfferedFile> together = user.asked.last();
    QCOMPARE(together.size(), 2); // one question for both
    QVERIFY(together.at(0).fileName == "b.txt" && together.at(1).fileName == "d.txt");
    QCOMPARE(inbox.held(), 2);
    for (int n = 3; n < 3 + limits.inAll; ++n)
        inbox.onOffered("/e.txt", party(n)); // over the limit in all from the 15th on
    QCOMPARE(inbox.held(), int(limits.inAll));
    QCOMPARE(declined.size(), 1 + 1 + 2); // c.txt and a.txt (the user said no) before

    static QStringList logged;
    logged.clear();
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& m) {
              if (m.contains("OfferInbox"))
                  logged.append(m);
          });
    QTRY_VERIFY(!logged.isEmpty());
    qInstallMessageHandler(previous);
    QCOMPARE(logged.size(), 1);
    QVERIFY2(logged.first().startsWith("[W][OfferInbox] Declined 3 offers over the limit")
            && logged.first().contains("from 3 parties"),
        qPrintable(logged.first()));
    user.answers.takeFirst()({false, false});
    QCOMPARE(user.asked.size(), 3); // everything that came meanwhile, together
    QCOMPARE(user.asked.last().size(), limits.inAll - 2);

    // A batch from one PC is taken whole and fetched a few at a time: the rest wait for
    // their turn instead of being declined (the offering side is never told of a no).
    QTemporaryDir down;
    QVERIFY(m_context->config()->setValue(Config::DownloadPath, down.path()));
    OfferInbox batch(&transfers, *m_context->config());
    batch.setPolicy(OfferInbox::AcceptAll);
    QSignalSpy accepted(&batch, &OfferInbox::accepted);
    QSignalSpy batchDeclined(&batch, &OfferInbox::declined);
    for (int n = 0; n < 6; ++n)
        batch.onOffered(QStringLiteral("/batch/%1.txt").arg(n), party(7));
    QCOMPARE(accepted.size(), OfferInbox::Limits().fetchingPerParty);
    QCOMPARE(batch.held(), 6);
    QTRY_COMPARE_WITH_TIMEOUT(accepted.size(), 6, 20000); // each fetch fails: nobody answers
    QCOMPARE(batchDeclined.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(batch.held(), 0, 10000);
}

// What cuts a receive short, and what stays of it. A peer that sends a byte now and then is
// cut when it is idle too long, one that keeps a steady trickle when the time allowed for
// the size is up; one that never calls the transfer complete (the size it announced was
// not the file's) is no success, and what arrived goes. On a small file system of the
// test's own, a download that cannot fit is refused before anything is written, one that
// fills the disk on the way removes what it wrote. Each says why.
void TestReceiving::bounds_data()
{
    QTest::addColumn<QString>("remote");
    QTest::addColumn<QStringList>("deviceArgs");
    QTest::addColumn<int>("idleMs"); // 0: on a disk of 1 MiB; -1: one that fills once bytes come
    QTest::addColumn<int>("overallMs");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("partKept");
    const QString big = "/docs/big.bin";
    QTest::newRow("a byte now and then") << big << QStringList{"--trickle-after", "65536:400"} << 1500 << 60000
                                         << "sent only" << true;
    QTest::newRow("a steady trickle") << big << QStringList{"--trickle-after", "65536:2"} << 60000 << 2500
                                      << "took too long" << true;
    QTest::newRow("never complete") << big << QStringList{"--not-complete", "1000"} << 60000 << 60000 << "not complete"
                                    << false;
    QTest::newRow("announced larger than the free space")
        << big << QStringList() << 0 << 60000 << "not enough space" << false;
    // The first connection breaks after a few blocks: the disk fills in between.
    QTest::newRow("the disk fills while receiving")
        << "/docs/mid.bin" << QStringList{"--cut-after", "65536"} << -1 << 60000 << "is full" << false;
}

void TestReceiving::bounds()
{
    QFETCH(QString, remote);
    QFETCH(QStringList, deviceArgs);
    QFETCH(int, idleMs);
    QFETCH(int, overallMs);
    QFETCH(QString, reason);
    QFETCH(bool, partKept);
    const bool disk = idleMs <= 0, fill = idleMs < 0;
    QTemporaryDir folder;
    // Mounts stay in this thread's own mount namespace.
    if (disk && (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0))
        QSKIP("no mount namespace of our own here");
    QVERIFY(!disk || ::mount("tmpfs", QFile::encodeName(folder.path()).constData(), "tmpfs", 0, "size=1m") == 0);
    const ScopedTiming timing([&](Timing& t) {
        t.downloadReplyWaitMs = t.downloadTcpWaitMs = 2000;
        t.statusPollIntervalMs = 50;
        t.statusPolls = 4;
        t.receiveIdleMs = disk ? 60000 : idleMs;
        t.receiveOverallMs = overallMs;
        t.receiveOverallMsPerMiB = 0;
    });
    QUORVEL_DEVICE(
        device, QStringList{"--address", "127.0.0.51", "--no-mdns", "--folder", m_served.path()} + deviceArgs);
    const QString local = folder.filePath("file.bin");
    bool filled = false;
    // On this thread: only it sees the mount (and the threads it starts).
    FileDownloader task(remote, local, DeviceProcess::serverAt("127.0.0.51"), 0);
    connect(&task, &FileDownloader::updateProgress, this, [&](const ProgressContent& p) {
        // Someone else takes the rest of the disk once the download began.
        if (!fill || filled || p.progress <= 0 || p.progress > 100)
            return;
        filled = true;
        QFile f(folder.filePath("filler"));
        if (f.open(QIODevice::WriteOnly))
            while (f.write(QByteArray(4096, 'f')) == 4096 && f.flush()) { }
    });
    {
        Watchdog dog(90000, "a receive that its bounds did not end");
        task.run();
    }
    // The reason names the bound that cut it.
    const TaskOutcome outcome = task.outcome();
    QVERIFY2(!outcome.ok && outcome.reason.contains(reason), qPrintable(outcome.text()));
    QCOMPARE(filled, fill);
    const QStringList left = partKept ? QStringList{"file.bin.part", "file.bin.part.owner"}
        : fill                        ? QStringList{"filler"}
                                      : QStringList();
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden, QDir::Name), left);
    QVERIFY(!disk || ::umount(QFile::encodeName(folder.path()).constData()) == 0);
}

QTEST_GUILESS_MAIN(TestReceiving)
#include "tst_receiving.moc"
