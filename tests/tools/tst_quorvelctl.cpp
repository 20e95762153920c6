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
    void usageAndExitCodes();
    void listing();
    void uploadDownloadAndHistoryInJson();
    void commandsSucceedAndFail();
    void handAddedDevicesAndDiscovery();
    void settingsPersist();
    void progressBarOnlyOnATerminal();
    void worksBesideARunningWindow();
    void userPathsFollowTheCurrentDirectory();
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
    QString makeFile(const QString& dir, const QString& name, int size)
    {
        return TestFiles::patterned(dir + "/" + name, size);
    }
};

void TestQuorvelCtl::usageAndExitCodes()
{
    ClientFolder app;
    QVERIFY(app.isValid());
    QByteArray out, err;
    QCOMPARE(app.ctl({"--version"}, &out), 0);
    QCOMPARE(out, QByteArray("1.5.5\n"));
    QCOMPARE(app.ctl({"--help"}, &out), 0);
    QVERIFY(out.contains("Usage: quorvelctl"));
    QCOMPARE(app.ctl({}, &out, &err), 2);
    QCOMPARE(app.ctl({"bogus"}, &out, &err), 2);
    QVERIFY(err.contains("unknown command \"bogus\""));
    QCOMPARE(app.ctl({"ls"}, &out, &err), 2); // DEVICE missing
    QVERIFY(err.contains("Usage:"));
    QCOMPARE(app.ctl({"ls", "127.0.0.2", "--sort", "by_colour"}, &out, &err), 2);
    for (const char* command :
        {"discover", "ls", "upload", "download", "open", "rm", "thumb", "welcome", "history", "devices", "config"}) {
        QCOMPARE(app.ctl({command, "--help"}, &out, &err), 0);
        QVERIFY2(out.contains("--help"), command);
    }
    QCOMPARE(app.ctl({"--timeout", "zero", "ls"}, &out, &err), 2);
}

void TestQuorvelCtl::listing()
{
    DeviceProcess d({"--address", "127.0.0.2", "--no-mdns"});
    QVERIFY(d.isReady());
    ClientFolder app;
    QByteArray out, err;
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
}

void TestQuorvelCtl::uploadDownloadAndHistoryInJson()
{
    DeviceProcess d({"--address", "127.0.0.3", "--no-mdns"});
    QVERIFY(d.isReady());
    ClientFolder app;
    const QString a = makeFile(app.path(), "a.bin", 300000);
    const QString b = makeFile(app.path(), QString::fromUtf8("议程 b.txt"), 1000);
    QByteArray out, err;
    QCOMPARE(app.ctl({"--json", "upload", "127.0.0.3", a, b}, &out, &err), 0);
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
    QCOMPARE(app.ctl({"download", "127.0.0.3", "/Quorvel/上传/a.bin"}, &out, &err), 0);
    QCOMPARE(TestFiles::md5Of(app.path() + "/downloads/a.bin"), TestFiles::md5Of(a));
    QCOMPARE(app.ctl({"download", "127.0.0.3", "/Quorvel/none", "-o", app.path() + "/x"}, &out, &err), 1);
    QVERIFY2(err.contains("File not exists."), err.constData());
    QCOMPARE(app.ctl({"upload", "127.0.0.3", app.path() + "/missing.bin"}, &out, &err), 1);

    QCOMPARE(app.ctl({"--json", "history", "127.0.0.3"}, &out, &err), 0);
    const QList<QJsonObject> history = jsonLines(out);
    QCOMPARE(history.size(), 3);
    QCOMPARE(history.first().value("type").toString(), QString("file_download")); // newest first
    QCOMPARE(history.last().value("file").toString(), a);
    QCOMPARE(history.first().keys(), (QStringList{"date_modified", "event", "file", "operate_time", "remote", "type"}));
}

void TestQuorvelCtl::commandsSucceedAndFail()
{
    DeviceProcess d({"--address", "127.0.0.4", "--no-mdns"});
    QVERIFY(d.isReady());
    DeviceProcess silent({"--address", "127.0.0.5", "--no-mdns", "--ignore", "file_open", "--ignore", "salutatory"});
    QVERIFY(silent.isReady());
    ClientFolder app;
    QByteArray out, err;
    QCOMPARE(app.ctl({"open", "127.0.0.4", "/Pictures/lake.jpg"}, &out, &err), 0);
    QCOMPARE(out, QByteArray("打开文件成功.\n"));
    // A silent device fails with a reason that names it.
    QCOMPARE(app.ctl({"open", "127.0.0.5", "/Pictures/lake.jpg"}, &out, &err), 1);
    QVERIFY2(err.contains("127.0.0.5") && err.contains("did not answer"), err.constData());
    QCOMPARE(app.ctl({"welcome", "127.0.0.4", "Good morning"}, &out, &err), 0);
    QCOMPARE(d.waitForLog("event", "salutatory").value("text").toString(), QString("Good morning"));
    QCOMPARE(app.ctl({"welcome", "127.0.0.5", "x"}, &out, &err), 1);
    QCOMPARE(app.ctl({"welcome", "127.0.0.4", ""}, &out, &err), 2);
    QCOMPARE(app.ctl({"thumb", "127.0.0.4", "/Pictures/sunrise.png", "-o", app.path() + "/t.png"}, &out, &err), 0);
    QImage thumb(app.path() + "/t.png");
    QVERIFY(!thumb.isNull());
    QCOMPARE(app.ctl({"thumb", "127.0.0.4", "/Quorvel/readme.txt", "-o", app.path() + "/t2.png"}, &out, &err), 1);
    QCOMPARE(app.ctl({"rm", "127.0.0.4", "/Pictures/lake.jpg"}, &out, &err), 0);
    QVERIFY(!QFile::exists(d.folder() + "/Pictures/lake.jpg"));
    QCOMPARE(app.ctl({"--json", "rm", "127.0.0.4", "/Pictures/lake.jpg"}, &out, &err), 1);
    QVERIFY(jsonLines(out).last().value("event").toString() == "error");
}

void TestQuorvelCtl::handAddedDevicesAndDiscovery()
{
    DeviceProcess d({"--address", "127.0.0.6", "--no-mdns", "--name", "Board Room"});
    QVERIFY(d.isReady());
    ClientFolder app;
    QByteArray out, err;
    QCOMPARE(app.ctl({"devices", "add", "127.0.0.6"}), 0);
    QCOMPARE(app.ctl({"devices", "add", "127.0.0.6", "17000"}, &out, &err), 1);
    QCOMPARE(app.ctl({"devices", "add", "not-an-ip"}, &out, &err), 2);
    QCOMPARE(app.ctl({"devices", "ls"}, &out), 0);
    QCOMPARE(out, QByteArray("127.0.0.6\t16020\n"));
    QCOMPARE(app.ctl({"--json", "discover", "--wait", "3"}, &out, &err), 0);
    bool found = false;
    for (const QJsonObject& o : jsonLines(out)) {
        if (o.value("address").toString() == "127.0.0.6") {
            found = true;
            QCOMPARE(o.value("name").toString(), QString("Board Room"));
            QCOMPARE(o.value("found_by").toString(), QString("manual"));
            QCOMPARE(o.value("features").toObject().value("Vantrope").toInt(), 8000);
            QCOMPARE(o.keys(),
                (QStringList{"address", "event", "features", "found_by", "name", "os", "type", "uuid", "version"}));
        }
    }
    QVERIFY2(found, out.constData());
    // A device name resolves through one pass.
    QCOMPARE(app.ctl({"ls", "Board Room", "/Whiteboard"}, &out, &err), 0);
    QVERIFY(out.contains("notes.txt"));
    QCOMPARE(app.ctl({"devices", "rm", "127.0.0.6", "16020"}), 0);
    QCOMPARE(app.ctl({"devices", "ls"}, &out), 0);
    QVERIFY(out.isEmpty());
}

void TestQuorvelCtl::settingsPersist()
{
    ClientFolder app;
    QByteArray out, err;
    QCOMPARE(app.ctl({"config", "set", "ClientName", QString::fromUtf8("会议室 3")}), 0);
    QCOMPARE(app.ctl({"config", "get", "ClientName"}, &out), 0);
    QCOMPARE(QString::fromUtf8(out), QString::fromUtf8("会议室 3\n"));
    QCOMPARE(app.ctl({"config", "set", "ClientName", ""}, &out, &err), 1);
    QCOMPARE(app.ctl({"config", "set", "ConfirmCast", "false"}), 0);
    QCOMPARE(app.ctl({"--json", "config", "get", "ConfirmCast"}, &out), 0);
    QCOMPARE(jsonLines(out).first().value("value").toBool(true), false);
    QCOMPARE(app.ctl({"config", "get", "NoSuchKey"}, &out, &err), 2);
    QVERIFY(QFile::exists(app.path() + "/config.ini"));
    // The command-line client never writes the autostart entry.
    QVERIFY(!QFile::exists(app.path() + "/xdg-config/autostart/QuorvelClientRun.desktop"));
}

void TestQuorvelCtl::progressBarOnlyOnATerminal()
{
    DeviceProcess d({"--address", "127.0.0.7", "--no-mdns"});
    QVERIFY(d.isReady());
    ClientFolder app;
    const QString file = makeFile(app.path(), "bar.bin", 2000000);
    QByteArray out, err;
    QCOMPARE(app.ctl({"upload", "127.0.0.7", file}, &out, &err), 0);
    QVERIFY2(!err.contains('\r') && !err.contains('%'), err.constData());

    // On a pseudo-terminal (script(1) gives the client one) the bar is drawn.
    QProcess script;
    script.start("script", {"-q", "-e", "-c", app.path() + "/quorvelctl upload 127.0.0.7 " + file, "/dev/null"});
    QVERIFY(script.waitForFinished(60000));
    QCOMPARE(script.exitCode(), 0);
    const QByteArray terminal = script.readAllStandardOutput();
    QVERIFY2(
        terminal.contains("\rbar.bin") && terminal.contains("100%") && terminal.contains("MB/s"), terminal.constData());
}

void TestQuorvelCtl::worksBesideARunningWindow()
{
    DeviceProcess d({"--address", "127.0.0.8", "--no-mdns"});
    QVERIFY(d.isReady());
    ClientFolder app;
    QProcess* window = app.start({"-s"});
    QVERIFY(app.waitForLog(0, "[I][MainWindow] Client started"));
    QByteArray out, err;
    const QString file = makeFile(app.path(), "beside.bin", 100000);
    QCOMPARE(app.ctl({"upload", "127.0.0.8", file}, &out, &err), 0);
    QCOMPARE(app.ctl({"history", "127.0.0.8"}, &out, &err), 0);
    QVERIFY(out.contains("beside.bin"));
    QCOMPARE(window->state(), QProcess::Running);
}

// The user's paths resolve against the current directory, the client's own files against
// its folder, whichever folder the command runs in.
void TestQuorvelCtl::userPathsFollowTheCurrentDirectory()
{
    DeviceProcess d({"--address", "127.0.0.9", "--no-mdns"});
    QVERIFY(d.isReady());
    ClientFolder app;
    QTemporaryDir here;
    app.setWorkingDirectory(here.path());
    const QString file = makeFile(here.path(), "one.txt", 5000);
    QByteArray out, err;
    QCOMPARE(app.ctl({"upload", "127.0.0.9", "one.txt"}, &out, &err), 0);
    QCOMPARE(TestFiles::md5Of(d.folder() + QString::fromUtf8("/Quorvel/上传/one.txt")), TestFiles::md5Of(file));
    QCOMPARE(
        app.ctl({"download", "127.0.0.9", QString::fromUtf8("/Quorvel/上传/one.txt"), "-o", "rel.txt"}, &out, &err), 0);
    QCOMPARE(TestFiles::md5Of(here.path() + "/rel.txt"), TestFiles::md5Of(file));
    QVERIFY2(out.contains((here.path() + "/rel.txt").toUtf8()), out.constData());
    QCOMPARE(app.ctl({"config", "set", "ClientName", "Here"}), 0);
    QVERIFY(QFile::exists(app.path() + "/config.ini") && !QFile::exists(here.path() + "/config.ini"));
    QVERIFY(QFile::exists(app.path() + "/QuorvelClient.db") && !QFile::exists(here.path() + "/QuorvelClient.db"));
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
