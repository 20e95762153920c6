#include <QtTest>
#include <csignal>

#include "ClientFolder.h"

// The launcher as a user runs it: real processes, each client copy in its own folder.
class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void secondStartWakesTheFirst();
    void endingsBlockNothing();
    void anotherUserHasAnInstanceOfItsOwn();
};

static const QByteArray Started = "[I][MainWindow] Client started";
static const QByteArray Shown = "[I][MainWindow] Window shown.";

// A start that hands over to the running instance: it ends at once, and well.
static bool handsOver(QProcess* start)
{
    return start->waitForFinished(10000) && start->exitStatus() == QProcess::NormalExit && start->exitCode() == 0;
}

void TestSingleInstance::secondStartWakesTheFirst()
{
    ClientFolder folder;
    QVERIFY(folder.isValid());
    QProcess* first = folder.start({"-s"});
    QVERIFY(folder.waitForLog(0, Started));
    QVERIFY(!folder.log(0).contains(Shown)); // "-s": tray only

    QElapsedTimer timer;
    timer.start();
    QVERIFY(handsOver(folder.start()));
    // One connection attempt and a short pause; a second that waited out its connect
    // time-out would still be near 1.1 s, so only a hang fails this.
    QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));

    QVERIFY(folder.waitForLog(0, Shown));
    QCOMPARE(folder.logFiles().size(), 1); // the second built no window and no log
    QCOMPARE(first->state(), QProcess::Running);

    // A window already shown is shown (raised) again; the program named by a relative
    // path is the same program.
    QVERIFY(handsOver(folder.startWith("./quorvel", {}, folder.path())));
    QVERIFY(folder.waitForLog(0, Shown, 2));

    // A copy in another folder is an instance of its own, beside this one.
    ClientFolder other;
    QVERIFY(other.isValid());
    QProcess* beside = other.start();
    QVERIFY(other.waitForLog(0, Shown));
    QCOMPARE(beside->state(), QProcess::Running);
    QCOMPARE(first->state(), QProcess::Running);
}

// An unknown option ends the start before anything is made. A logout's SIGTERM or a
// Ctrl-C ends the client as its quit entry does (the event loop returns and everything
// is torn down in order: the log's last line is written); a SIGKILL leaves the lock and
// socket files behind. The next start still becomes the primary instance, and wakeable.
void TestSingleInstance::endingsBlockNothing()
{
    ClientFolder folder;
    QVERIFY(folder.isValid());
    QProcess* bogus = folder.start({"--bogus"});
    QVERIFY(bogus->waitForFinished(10000));
    QVERIFY(bogus->exitCode() != 0);
    QVERIFY(!QDir(folder.path() + "/log").exists()); // no window, no debug window, no log
    QVERIFY(!QFile::exists(folder.path() + "/config.ini"));

    int log = 0;
    for (const int signal : {SIGTERM, SIGINT, SIGKILL}) {
        QProcess* client = folder.start({"-s"});
        QVERIFY(folder.waitForLogFiles(log + 1) && folder.waitForLog(log, Started));
        ::kill(pid_t(client->processId()), signal);
        QVERIFY(client->waitForFinished(5000));
        QCOMPARE(client->exitStatus() == QProcess::NormalExit && client->exitCode() == 0, signal != SIGKILL);
        QCOMPARE(folder.log(log++).contains("[I][QuitOnSignal] Ending on signal " + QByteArray::number(signal) + "."),
            signal != SIGKILL);
    }
    // Regression: the lock file shared the socket's path, so clearing a stale socket
    // removed the live lock and a restart after a crash never became primary.
    QProcess* next = folder.start({"-s"});
    QVERIFY(folder.waitForLogFiles(log + 1) && folder.waitForLog(log, Started));
    QVERIFY(handsOver(folder.start()));
    QVERIFY(folder.waitForLog(log, Shown));
    QCOMPARE(next->state(), QProcess::Running);
}

// One installed program, two users: each start by another user is that user's own first
// instance, and a later start wakes the user's own window, not the other's.
void TestSingleInstance::anotherUserHasAnInstanceOfItsOwn()
{
    ClientFolder folder;
    QVERIFY(folder.isValid());
    QTemporaryDir runtime; // the other user's XDG_RUNTIME_DIR
    QVERIFY(runtime.isValid());
    for (const QString& path : {folder.path(), runtime.path()})
        QVERIFY(QProcess::execute("chown", {"-R", "nobody:nogroup", path}) == 0);
    // A copy that both users may write keeps their files beside the program, as a copy does.
    QVERIFY(QProcess::execute("chmod", {"o+w", folder.path()}) == 0);
    const QHash<QString, QString> nobodyEnv{{"XDG_RUNTIME_DIR", runtime.path()}, {"HOME", folder.path()}};
    const QStringList asNobody{"--reuid=nobody", "--regid=nogroup", "--clear-groups", folder.program()};

    QProcess* theirs = folder.startWith("setpriv", asNobody, QDir::tempPath(), nobodyEnv);
    QVERIFY(folder.waitForLog(0, Shown));
    QProcess* mine = folder.start();
    QVERIFY2(folder.waitForLogFiles(2), "the second user's start ended in the first user's client");
    QVERIFY(folder.waitForLog(1, Shown));

    QVERIFY(handsOver(folder.start()));
    QVERIFY(folder.waitForLog(1, Shown, 2));
    QVERIFY(handsOver(folder.startWith("setpriv", asNobody, QDir::tempPath(), nobodyEnv)));
    QVERIFY(folder.waitForLog(0, Shown, 2));
    QCOMPARE(folder.log(1).count(Shown), 2);
    QCOMPARE(folder.logFiles().size(), 2);
    QCOMPARE(theirs->state(), QProcess::Running);
    QCOMPARE(mine->state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
