#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "TestFiles.h"

// The command-line client as a script runs it: real processes against the simulator.
class TestQuorvelCtl : public QObject {
    Q_OBJECT
private slots:
    void usageAndExitCodes_data();
    void usageAndExitCodes();
    void commandsAgainstOneDevice();
    void besideARunningWindowWithAProgressBarOnlyOnATerminal();
    void interruptStopsCleanlyAndKeepsWhatArrived();

private:
    static QList<QJsonObject> jsonLines(const QByteArray& out)
    {
        QList<QJsonObject> lines;
        for (const QByteArray& line : out.split('\n')) {
            if (!line.trimmed().isEmpty())
                lines.append(QJsonDocument::fromJson(line).object());
        }
        return lines;
    }
};

// Commands refused before any device is asked: the exit code and what the output says.
void TestQuorvelCtl::usageAndExitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("says"); // in standard output or error; a whole line: all of it
    QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("1.5.5\n");
    QTest::newRow("help") << QStringList{"--help"} << 0 << QByteArray("Usage: quorvelctl");
    QTest::newRow("a command's help") << QStringList{"devices", "--help"} << 0 << QByteArray("--help");
    QTest::newRow("no command") << QStringList{} << 2 << QByteArray();
    QTest::newRow("unknown command") << QStringList{"bogus"} << 2 << QByteArray("unknown command \"bogus\"");
    QTest::newRow("device missing") << QStringList{"ls"} << 2 << QByteArray("Usage:");
    QTest::newRow("unknown order") << QStringList{"ls", "127.0.0.2", "--sort", "by_colour"} << 2 << QByteArray();
    QTest::newRow("bad time-out") << QStringList{"--timeout", "zero", "ls"} << 2 << QByteArray();
    QTest::newRow("empty welcome") << QStringList{"welcome", "127.0.0.2", ""} << 2 << QByteArray();
    QTest::newRow("no address") << QStringList{"devices", "add", "not-an-ip"} << 2 << QByteArray();
    QTest::newRow("unknown setting") << QStringList{"config", "get", "NoSuchKey"} << 2 << QByteArray();
    QTest::newRow("empty client name") << QStringList{"config", "set", "ClientName", ""} << 1 << QByteArray();
}

void TestQuorvelCtl::usageAndExitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, says);
    ClientFolder app;
    QVERIFY(app.isValid());
    QByteArray out, err;
    QCOMPARE(app.ctl(arguments, &out, &err), exitCode);
    QVERIFY2((exitCode ? err : out).contains(says), (out + err).constData());
    if (says.endsWith('\n'))
        QCOMPARE(out, says);
}

// Every command against one simulator and one client folder, in an order where what one
// command changes is what the next one expects.
void TestQuorvelCtl::commandsAgainstOneDevice()
{
    DeviceProcess d({"--address", "127.0.0.2", "--no-mdns", "--name", "Board Room"});
    QVERIFY(d.isReady());
    DeviceProcess silent({"--address", "127.0.0.5", "--no-mdns", "--ignore", "file_open", "--ignore", "salutatory"});
    QVERIFY(silent.isReady());
    ClientFolder app;
    QByteArray out, err;

    // Listing.
    QCOMPARE(app.ctl({"ls", "127.0.0.2", "/Pictures", "--sort", "file_name_decrease"}, &out, &err), 0);
    const QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith("file\t") && lines.at(0).endsWith("\tsunrise.png"));
    QVERIFY(lines.at(2).startsWith("dir\t0\t") && lines.at(2).endsWith("\t2024"));
    QCOMPARE(app.ctl({"--json", "ls", "127.0.0.2"}, &out, &err), 0);
    const QList<QJsonObject> entries = jsonLines(out);
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.first().keys(), (QStringList{"date_modified", "event", "name", "size", "type"}));
    QCOMPARE(entries.first().value("event").toString(), QString("entry"));
    QCOMPARE(app.ctl({"ls", "127.0.0.2", "/Nope"}, &out, &err), 1);
    QCOMPARE(err.trimmed().split('\n').size(), 1); // one line, with the device's reason
    QVERIFY2(err.contains("No such directory."), err.constData());
    // Nobody at the address: a failure that says so, not an empty listing.
    QCOMPARE(app.ctl({"ls", "127.0.0.99"}, &out, &err), 1);
    QVERIFY2(err.contains("127.0.0.99 did not answer"), err.constData());

    // Uploads, downloads and their history, in JSON.
    const QString a = TestFiles::patterned(app.path() + "/a.bin", 300000);
    const QString b = TestFiles::patterned(app.path() + QString::fromUtf8("/议程 b.txt"), 1000);
    QCOMPARE(app.ctl({"--json", "upload", "127.0.0.2", a, b}, &out, &err), 0);
    QList<QJsonObject> results;
    for (const QJsonObject& o : jsonLines(out)) {
        QVERIFY(o.contains("event"));
        if (o.value("event").toString() == "result")
            results.append(o);
        else
            QCOMPARE(o.keys(), (QStringList{"bytes", "bytes_per_second", "event", "file", "id", "percent", "remote"}));
    }
    QCOMPARE(results.size(), 2);
    QCOMPARE(results.at(0).keys(), (QStringList{"command", "event", "file", "id", "ok", "remote"}));
    QVERIFY(results.at(0).value("ok").toBool());
    QCOMPARE(results.at(1).value("remote").toString(), QString::fromUtf8("/QuorVEL/上传/议程 b.txt"));
    QCOMPARE(TestFiles::md5Of(d.folder() + QString::fromUtf8("/Quorvel/上传/议程 b.txt")), TestFiles::md5Of(b));
    QCOMPARE(app.ctl({"config", "set", "DownloadPath", app.path() + "/downloads"}), 0);
    QCOMPARE(app.ctl({"download", "127.0.0.2", "/Quorvel/上传/a.bin"}, &out, &err), 0);
    QCOMPARE(TestFiles::md5Of(app.path() + "/downloads/a.bin"), TestFiles::md5Of(a));
    QCOMPARE(app.ctl({"download", "127.0.0.2", "/Quorvel/none", "-o", app.path() + "/x"}, &out, &err), 1);
    QVERIFY2(err.contains("File not exists."), err.constData());
    QCOMPARE(app.ctl({"upload", "127.0.0.2", app.path() + "/missing.bin"}, &out, &err), 1);
    QCOMPARE(app.ctl({"--json", "history", "127.0.0.2"}, &out, &err), 0);
    const QList<QJsonObject> history = jsonLines(out);
    QCOMPARE(history.size(), 3);
    QCOMPARE(history.first().value("type").toString(), QString("file_download")); // newest first
    QCOMPARE(history.last().value("file").toString(), a);
    QCOMPARE(history.first().keys(), (QStringList{"date_modified", "event", "file", "operate_time", "remote", "type"}));

    // Open, welcome, thumbnail and delete; a silent device fails with a reason that names it.
    QCOMPARE(app.ctl({"open", "127.0.0.2", "/Pictures/lake.jpg"}, &out, &err), 0);
    QCOMPARE(out, QByteArray("打开文件成功.\n"));
    QCOMPARE(app.ctl({"open", "127.0.0.5", "/Pictures/lake.jpg"}, &out, &err), 1);
    QVERIFY2(err.contains("127.0.0.5") && err.contains("did not answer"), err.constData());
    QCOMPARE(app.ctl({"welcome", "127.0.0.2", "Good morning"}, &out, &err), 0);
    QCOMPARE(d.waitForLog("event", "salutatory").value("text").toString(), QString("Good morning"));
    QCOMPARE(app.ctl({"welcome", "127.0.0.5", "x"}, &out, &err), 1);
    QCOMPARE(app.ctl({"thumb", "127.0.0.2", "/Pictures/sunrise.png", "-o", app.path() + "/t.png"}, &out, &err), 0);
    QVERIFY(!QImage(app.path() + "/t.png").isNull());
    QCOMPARE(app.ctl({"thumb", "127.0.0.2", "/Quorvel/readme.txt", "-o", app.path() + "/t2.png"}, &out, &err), 1);
    QCOMPARE(app.ctl({"rm", "127.0.0.2", "/Pictures/lake.jpg"}, &out, &err), 0);
    QVERIFY(!QFile::exists(d.folder() + "/Pictures/lake.jpg"));
    QCOMPARE(app.ctl({"--json", "rm", "127.0.0.2", "/Pictures/lake.jpg"}, &out, &err), 1);
    QVERIFY(jsonLines(out).last().value("event").toString() == "error");

    // Hand-added devices, found by discovery and by name.
    QCOMPARE(app.ctl({"devices", "add", "127.0.0.2"}), 0);
    QCOMPARE(app.ctl({"devices", "add", "127.0.0.2", "17000"}, &out, &err), 1);
    QCOMPARE(app.ctl({"devices", "ls"}, &out), 0);
    QCOMPARE(out, QByteArray("127.0.0.2\t16020\n"));
    QCOMPARE(app.ctl({"--json", "discover", "--wait", "3"}, &out, &err), 0);
    bool found = false;
    for (const QJsonObject& o : jsonLines(out)) {
        if (o.value("address").toString() == "127.0.0.2") {
            found = true;
            QCOMPARE(o.value("name").toString(), QString("Board Room"));
            QCOMPARE(o.value("found_by").toString(), QString("manual"));
            QCOMPARE(o.value("features").toObject().value("Vantrope").toInt(), 8000);
            QCOMPARE(o.keys(),
                (QStringList{"address", "event", "features", "found_by", "name", "os", "type", "uuid", "version"}));
        }
    }
    QVERIFY2(found, out.constData());
    QCOMPARE(app.ctl({"ls", "Board Room", "/Whiteboard"}, &out, &err), 0); // a name resolves through one pass
    QVERIFY(out.contains("notes.txt"));
    QCOMPARE(app.ctl({"devices", "rm", "127.0.0.2", "16020"}), 0);
    QCOMPARE(app.ctl({"devices", "ls"}, &out), 0);
    QVERIFY(out.isEmpty());

    // Settings persist.
    QCOMPARE(app.ctl({"config", "set", "ClientName", QString::fromUtf8("会议室 3")}), 0);
    QCOMPARE(app.ctl({"config", "get", "ClientName"}, &out), 0);
    QCOMPARE(QString::fromUtf8(out), QString::fromUtf8("会议室 3\n"));
    QCOMPARE(app.ctl({"config", "set", "ConfirmCast", "false"}), 0);
    QCOMPARE(app.ctl({"--json", "config", "get", "ConfirmCast"}, &out), 0);
    QCOMPARE(jsonLines(out).first().value("value").toBool(true), false);
    // The command-line client never writes the autostart entry.
    QVERIFY(!QFile::exists(app.path() + "/xdg-config/autostart/QuorvelClientRun.desktop"));

    // The user's paths resolve against the current directory, the client's own files
    // against its folder, whichever folder the command runs in.
    QTemporaryDir here;
    app.setWorkingDirectory(here.path());
    const QString file = TestFiles::patterned(here.path() + "/one.txt", 5000);
    QCOMPARE(app.ctl({"upload", "127.0.0.2", "one.txt"}, &out, &err), 0);
    QCOMPARE(TestFiles::md5Of(d.folder() + QString::fromUtf8("/Quorvel/上传/one.txt")), TestFiles::md5Of(file));
    QCOMPARE(
        app.ctl({"download", "127.0.0.2", QString::fromUtf8("/Quorvel/上传/one.txt"), "-o", "rel.txt"}, &out, &err), 0);
    QCOMPARE(TestFiles::md5Of(here.path() + "/rel.txt"), TestFiles::md5Of(file));
    QVERIFY2(out.contains((here.path() + "/rel.txt").toUtf8()), out.constData());
    QCOMPARE(app.ctl({"config", "set", "ClientName", "Here"}), 0);
    QVERIFY(QFile::exists(app.path() + "/config.ini") && !QFile::exists(here.path() + "/config.ini"));
    QVERIFY(QFile::exists(app.path() + "/QuorvelClient.db") && !QFile::exists(here.path() + "/QuorvelClient.db"));
}

// Beside a running window (one database, one lock) the command line works, and it draws
// its progress bar only on a terminal.
void TestQuorvelCtl::besideARunningWindowWithAProgressBarOnlyOnATerminal()
{
    DeviceProcess d({"--address", "127.0.0.7", "--no-mdns"});
    QVERIFY(d.isReady());
    ClientFolder app;
    QProcess* window = app.start({"-s"});
    QVERIFY(app.waitForLog(0, "[I][MainWindow] Client started"));
    const QString file = TestFiles::patterned(app.path() + "/bar.bin", 2000000);
    QByteArray out, err;
    QCOMPARE(app.ctl({"upload", "127.0.0.7", file}, &out, &err), 0);
    QVERIFY2(!err.contains('\r') && !err.contains('%'), err.constData());
    QCOMPARE(app.ctl({"history", "127.0.0.7"}, &out, &err), 0);
    QVERIFY(out.contains("bar.bin"));
    QCOMPARE(window->state(), QProcess::Running);

    // On a pseudo-terminal (script(1) gives the client one) the bar is drawn.
    QProcess script;
    script.start("script", {"-q", "-e", "-c", app.path() + "/quorvelctl upload 127.0.0.7 " + file, "/dev/null"});
    QVERIFY(script.waitForFinished(60000));
    QCOMPARE(script.exitCode(), 0);
    const QByteArray terminal = script.readAllStandardOutput();
    QVERIFY2(
        terminal.contains("\rbar.bin") && terminal.contains("100%") && terminal.contains("MB/s"), terminal.constData());
}

// Ctrl-C or SIGTERM during a transfer: the transfer stops at its next step (not after
// its retries run out), the process ends through its context with 130, and what arrived
// stays for a later resumption.
void TestQuorvelCtl::interruptStopsCleanlyAndKeepsWhatArrived()
{
    DeviceProcess d({"--address", "127.0.0.10", "--no-mdns", "--stall-after", "200000"});
    QVERIFY(d.isReady());
    ClientFolder app;
    QDir().mkpath(d.folder() + "/Quorvel");
    TestFiles::patterned(d.folder() + "/Quorvel/big.bin", 600000);
    const QString part = app.path() + "/big.bin";
    QProcess ctl;
    ctl.start(app.path() + "/quorvelctl", {"download", "127.0.0.10", "/Quorvel/big.bin", "-o", part});
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(part).size() >= 200000, 10000);
    QElapsedTimer stopping;
    stopping.start();
    ctl.terminate();
    QVERIFY(ctl.waitForFinished(15000));
    QVERIFY2(stopping.elapsed() < 10000, qPrintable(QString::number(stopping.elapsed())));
    QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
    QCOMPARE(ctl.exitCode(), 130);
    QCOMPARE(QFileInfo(part).size(), qint64(200000));
}

QTEST_GUILESS_MAIN(TestQuorvelCtl)
#include "tst_quorvelctl.moc"
