#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include "ClientFolder.h"
#include "DeviceProcess.h"
#include "TestFiles.h"

// The command-line client as a script runs it: real processes against the simulator.
class TestQuorvelCtl : public QObject {
    Q_OBJECT
private slots:
    void grammar_data();
    void grammar();
    void commandsAgainstOneDevice();
    void besideARunningWindowWithAProgressBarOnlyOnATerminal();
    void interruptedDownloadLeavesAPartAndResumes();
    void historyThatCannotBeWrittenIsSaid();
    void everyJsonEventFollowsTheReadme();

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
    // Every --json output the tests saw, for the schema check at the end.
    static QByteArray s_json;
    static int ctlJson(const ClientFolder& app, const QStringList& args, QByteArray* out, QByteArray* err = nullptr)
    {
        const int code = app.ctl(QStringList{"--json"} + args, out, err);
        s_json += *out;
        return code;
    }
};

QByteArray TestQuorvelCtl::s_json;

// Refused or answered before any device is asked: the exit code, what the output says,
// and for usage errors the one style: the message and one line pointing to --help.
void TestQuorvelCtl::grammar_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("says"); // in standard output or error; a whole line: all of it
    const auto usage = [](const char* tag, const QStringList& args, const char* says) {
        QTest::newRow(tag) << args << 2 << QByteArray(says);
    };
    QTest::newRow("version") << QStringList{"--version"} << 0 << QByteArray("1.5.5\n");
    QTest::newRow("-h") << QStringList{"-h"} << 0 << QByteArray("Usage: quorvelctl");
    QTest::newRow("help") << QStringList{"help"} << 0 << QByteArray("Commands:");
    QTest::newRow("help ls") << QStringList{"help", "ls"} << 0 << QByteArray("Usage: quorvelctl ls [options] DEVICE");
    QTest::newRow("--help-all") << QStringList{"--help-all"} << 0 << QByteArray("Usage: quorvelctl offer");
    QTest::newRow("config keys") << QStringList{"config", "--help"} << 0 << QByteArray("an existing, writable folder");
    QTest::newRow("global after command") << QStringList{"config", "get", "SecureMode",
        "--json"} << 0 << QByteArray("{\"event\":\"setting\",\"key\":\"SecureMode\",\"value\":false}\n");
    usage("no command", {}, "Commands:");
    usage("unknown command", {"bogus"}, "quorvelctl: unknown command \"bogus\"");
    usage("device missing", {"ls"}, "quorvelctl: too few arguments");
    usage("unknown order", {"ls", "127.0.0.2", "--sort", "by_colour"}, "use name, size, time, type");
    usage("bad time-out", {"ls", "127.0.0.2", "--timeout", "zero"}, "--timeout takes a whole number");
    usage("wait not a number", {"discover", "--wait", "abc"}, "--wait takes a whole number of seconds");
    usage("wait negative", {"doctor", "--wait", "-1"}, "not \"-1\"");
    usage("option without value", {"thumb", "127.0.0.2", "/a", "-o"}, "Missing value after '-o'");
    usage("empty welcome", {"welcome", "127.0.0.2", ""}, "");
    usage("no address", {"devices", "add", "not-an-ip"}, "is no ADDRESS or ADDRESS:PORT");
    usage("bad port", {"devices", "add", "127.0.0.2:70000"}, "is no ADDRESS");
    usage("unknown setting", {"config", "get", "NoSuchKey"}, "unknown setting");
    usage("empty client name", {"config", "set", "clientname", ""}, "ClientName may not be empty");
    usage("bad boolean", {"config", "set", "SecureMode", "maybe"}, "SecureMode takes true or false");
    usage("bad shortcut", {"config", "set", "CastShortcut", "Ctrl+Nope"}, "is no key combination");
    usage("missing folder", {"config", "set", "DownloadPath", "/no/such/folder"}, "does not exist");
    usage("stdout and json", {"--json", "download", "127.0.0.2", "/a", "-o", "-"}, "both want standard output");
    QTest::newRow("boolean as yes") << QStringList{"config", "set", "ConfirmCast", "YES"} << 0 << QByteArray();
    QTest::newRow("removing what is not there")
        << QStringList{"devices", "rm", "127.0.0.9"} << 1 << QByteArray("not among the hand-added devices");
}

void TestQuorvelCtl::grammar()
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
    if (exitCode == 2 && !arguments.isEmpty()) {
        const QList<QByteArray> lines = err.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines.at(0).startsWith("quorvelctl: ") && lines.at(1).startsWith("Try 'quorvelctl "), err.constData());
        QVERIFY2(!arguments.contains("--json") || jsonLines(out).value(0).value("event") == "error", out.constData());
    }
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

    // Listing, in the orders people type; a name with a control character stays one line.
    QVERIFY(TestFiles::patterned(d.folder() + "/Pictures/bad\nname.png", 10).size());
    QCOMPARE(app.ctl({"ls", "127.0.0.2", "/Pictures", "--sort", "type-desc"}, &out, &err), 0);
    QList<QByteArray> lines = out.trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).startsWith("file\t") && lines.at(0).endsWith("\tbad\\nname.png"));
    QVERIFY(lines.at(3).startsWith("dir\t0\t") && lines.at(3).endsWith("\t2024"));
    QCOMPARE(app.ctl({"ls", "127.0.0.2:16020", "/Pictures", "--sort", "name-desc"}, &out, &err), 0);
    QVERIFY2(out.trimmed().split('\n').at(0).endsWith("\tsunrise.png"), out.constData());
    QCOMPARE(ctlJson(app, {"ls", "127.0.0.2"}, &out), 0);
    QCOMPARE(jsonLines(out).size(), 3);
    QCOMPARE(app.ctl({"ls", "127.0.0.2", "/Nope"}, &out, &err), 1);
    QCOMPARE(err.trimmed().split('\n').size(), 1); // one line, with the device's reason
    QVERIFY2(err.contains("No such directory."), err.constData());
    QCOMPARE(ctlJson(app, {"ls", "127.0.0.99"}, &out, &err), 1);
    QVERIFY2(err.contains("127.0.0.99 did not answer"), err.constData());

    // A batch reports each file as it ends, and which of the batch it was.
    const QString a = TestFiles::patterned(app.path() + "/a.bin", 300000);
    const QString b = TestFiles::patterned(app.path() + QString::fromUtf8("/议程 b.txt"), 1000);
    QCOMPARE(app.ctl({"upload", "127.0.0.2", a, b}, &out, &err), 0);
    QVERIFY2(out.contains("a.bin (file 1 of 2)\n") && out.contains("b.txt (file 2 of 2)\n"), out.constData());
    QCOMPARE(ctlJson(app, {"upload", "127.0.0.2", a, app.path() + "/missing.bin"}, &out), 1);
    QCOMPARE(TestFiles::md5Of(d.folder() + QString::fromUtf8("/Quorvel/上传/议程 b.txt")), TestFiles::md5Of(b));
    QCOMPARE(app.ctl({"config", "set", "DownloadPath", app.path()}), 0);
    QCOMPARE(ctlJson(app, {"download", "127.0.0.2", "/Quorvel/上传/a.bin", "-o", app.path() + "/dl.bin"}, &out), 0);
    QCOMPARE(TestFiles::md5Of(app.path() + "/dl.bin"), TestFiles::md5Of(a));
    QCOMPARE(app.ctl({"download", "127.0.0.2", "/Quorvel/上传/a.bin", "-o", "-"}, &out, &err), 0);
    QCOMPARE(QCryptographicHash::hash(out, QCryptographicHash::Md5).toHex(), TestFiles::md5Of(a).toLatin1());
    QCOMPARE(ctlJson(app, {"download", "127.0.0.2", "/Quorvel/none", "-o", app.path() + "/x"}, &out, &err), 1);
    QVERIFY2(err.contains("File not exists."), err.constData());
    QVERIFY(!QFile::exists(app.path() + "/x") && !QFile::exists(app.path() + "/x.part"));

    // Open, welcome, thumbnail and delete; a silent device fails with a reason that names it.
    QCOMPARE(app.ctl({"open", "127.0.0.2", "/Pictures/lake.jpg"}, &out, &err), 0);
    QCOMPARE(out, QByteArray("打开文件成功.\n"));
    QCOMPARE(ctlJson(app, {"open", "127.0.0.5", "/Pictures/lake.jpg"}, &out, &err), 1);
    QVERIFY2(err.contains("127.0.0.5") && err.contains("did not answer"), err.constData());
    QCOMPARE(ctlJson(app, {"welcome", "127.0.0.2", "Good morning"}, &out), 0);
    QCOMPARE(d.waitForLog("event", "salutatory").value("text").toString(), QString("Good morning"));
    QCOMPARE(ctlJson(app, {"thumb", "127.0.0.2", "/Pictures/sunrise.png", "-o", app.path() + "/t.png"}, &out), 0);
    QVERIFY(!QImage(app.path() + "/t.png").isNull());
    QCOMPARE(app.ctl({"thumb", "127.0.0.2", "/Quorvel/readme.txt", "-o", app.path() + "/t2.png"}, &out, &err), 1);
    QCOMPARE(ctlJson(app, {"rm", "127.0.0.2", "/Pictures/lake.jpg"}, &out), 0);
    QVERIFY(!QFile::exists(d.folder() + "/Pictures/lake.jpg"));
    QCOMPARE(ctlJson(app, {"rm", "127.0.0.2", "/Pictures/lake.jpg"}, &out), 1);

    // Hand-added devices, found by discovery and by name in any case; a near miss is named.
    QCOMPARE(app.ctl({"devices", "add", "127.0.0.2"}, &out), 0);
    QCOMPARE(out, QByteArray("added 127.0.0.2:16020\n"));
    QCOMPARE(ctlJson(app, {"devices", "add", "127.0.0.2:17000"}, &out, &err), 1);
    QVERIFY2(err.contains("127.0.0.2:16020 is added already"), err.constData());
    QCOMPARE(ctlJson(app, {"devices", "ls"}, &out), 0);
    QCOMPARE(jsonLines(out).value(0).value("port").toInt(), 16020);
    QCOMPARE(ctlJson(app, {"discover", "--wait", "2"}, &out, &err), 0);
    QVERIFY2(out.contains("\"found_by\":\"manual\"") && out.contains("\"name\":\"Board Room\""), out.constData());
    QCOMPARE(app.ctl({"ls", "board room", "/Whiteboard"}, &out, &err), 0);
    QVERIFY(out.contains("notes.txt"));
    QCOMPARE(app.ctl({"ls", "Bord Room"}, &out, &err), 1);
    QVERIFY2(err.contains("did you mean \"Board Room\"?"), err.constData());
    QCOMPARE(app.ctl({"devices", "rm", "127.0.0.2"}, &out), 0);
    QCOMPARE(app.ctl({"devices", "ls"}, &out), 0);
    QVERIFY(out.isEmpty());

    // The history comes from the local database, also by name, while the device is off.
    d.process().terminate();
    QVERIFY(d.process().waitForFinished(5000));
    for (const QString& which : QStringList{"127.0.0.2", "BOARD ROOM"}) {
        QCOMPARE(ctlJson(app, {"history", which}, &out, &err), 0);
        const QList<QJsonObject> history = jsonLines(out);
        QCOMPARE(history.size(), 4);
        QCOMPARE(history.first().value("transfer").toString(), QString("file_download")); // newest first
        QCOMPARE(history.last().value("file").toString(), a);
    }
    QCOMPARE(ctlJson(app, {"config", "ls"}, &out), 0);
    QCOMPARE(jsonLines(out).size(), 7);
    QCOMPARE(ctlJson(app, {"config", "set", "ConfirmCast", "no"}, &out), 0);
    QCOMPARE(jsonLines(out).value(0).value("value").toBool(true), false);
    // The command-line client never writes the autostart entry.
    QVERIFY(!QFile::exists(app.path() + "/xdg-config/autostart/QuorvelClientRun.desktop"));

    // The user's paths resolve against the current directory, the client's own files
    // against its folder, whichever folder the command runs in.
    QTemporaryDir here;
    app.setWorkingDirectory(here.path());
    const QString file = TestFiles::patterned(here.path() + "/one.txt", 5000);
    QCOMPARE(app.ctl({"upload", "127.0.0.5", "one.txt"}, &out, &err), 0);
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

    // On a pseudo-terminal (script(1) gives the client one) the bar is drawn, with the
    // place of each file in the batch.
    QProcess script;
    script.start(
        "script", {"-q", "-e", "-c", app.path() + "/quorvelctl upload 127.0.0.7 " + file + " " + file, "/dev/null"});
    QVERIFY(script.waitForFinished(60000));
    QCOMPARE(script.exitCode(), 0);
    const QByteArray terminal = script.readAllStandardOutput();
    QVERIFY2(terminal.contains("\rfile 2 of 2 bar.bin") && terminal.contains("100%") && terminal.contains("MB/s"),
        terminal.constData());
}

// Ctrl-C or SIGTERM during a download: it stops at its next step, the process ends with
// 130, and what arrived stays as NAME.part, never under the final name. The same command
// then resumes from the part with the device's resume offset and confirms the whole file.
void TestQuorvelCtl::interruptedDownloadLeavesAPartAndResumes()
{
    QTemporaryDir served;
    QDir().mkpath(served.path() + "/Quorvel");
    const QString source = TestFiles::patterned(served.path() + "/Quorvel/big.bin", 600000);
    ClientFolder app;
    const QString local = app.path() + "/big.bin";
    {
        DeviceProcess d({"--address", "127.0.0.10", "--no-mdns", "--stall-after", "200000", "--folder", served.path()});
        QVERIFY(d.isReady());
        QProcess ctl;
        ctl.start(app.path() + "/quorvelctl", {"download", "127.0.0.10", "/Quorvel/big.bin", "-o", local});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(local + ".part").size() >= 200000, 10000);
        QElapsedTimer stopping;
        stopping.start();
        ctl.terminate();
        QVERIFY(ctl.waitForFinished(15000));
        QVERIFY2(stopping.elapsed() < 10000, qPrintable(QString::number(stopping.elapsed())));
        QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ctl.exitCode(), 130);
        QCOMPARE(QFileInfo(local + ".part").size(), qint64(200000));
        QVERIFY(!QFile::exists(local));
    }
    DeviceProcess d({"--address", "127.0.0.10", "--no-mdns", "--folder", served.path()});
    QVERIFY(d.isReady());
    QByteArray out, err;
    QCOMPARE(app.ctl({"download", "127.0.0.10", "/Quorvel/big.bin", "-o", local}, &out, &err), 0);
    QVERIFY2(err.contains("resuming from big.bin.part (200000 bytes)"), err.constData());
    QCOMPARE(d.waitForLog("event", "resume-offset-received").value("value").toInt(), 200000);
    QCOMPARE(TestFiles::md5Of(local), TestFiles::md5Of(source));
    QVERIFY(!QFile::exists(local + ".part"));
    QCOMPARE(d.requests("query_result").last().value("md5").toString(), TestFiles::md5Of(source));
}

// A damaged history is moved aside and a new one started; one that another program keeps
// locked costs the download a short wait and a warning, never its success.
void TestQuorvelCtl::historyThatCannotBeWrittenIsSaid()
{
    DeviceProcess d({"--address", "127.0.0.13", "--no-mdns"});
    QVERIFY(d.isReady());
    QVERIFY(TestFiles::patterned(d.folder() + "/Pictures/a.bin", 1000).size());
    ClientFolder app;
    const QString store = app.path() + "/QuorvelClient.db";
    QFile damaged(store);
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(QByteArray(4096, 'x')) == 4096);
    damaged.close();
    QByteArray out, err;
    QCOMPARE(ctlJson(app, {"download", "127.0.0.13", "/Pictures/a.bin", "-o", app.path() + "/a.bin"}, &out, &err), 0);
    const QStringList aside = QDir(app.path()).entryList({"QuorvelClient.db.corrupt-*"});
    QCOMPARE(aside.size(), 1);
    QList<QJsonObject> events = jsonLines(out);
    QCOMPARE(events.first().value("event").toString(), QString("warning"));
    QCOMPARE(events.first().value("command").toString(), QString("download"));
    QVERIFY2(events.first().value("message").toString().contains("moved aside to " + app.path() + "/" + aside.first()),
        out.constData());
    QVERIFY2(err.contains("quorvelctl: warning: " + store.toUtf8() + " was damaged"), err.constData());
    QCOMPARE(app.ctl({"history", "127.0.0.13"}, &out, &err), 0);
    QCOMPARE(out.count("file_download"), 1); // the new history works

    {
        QSqlDatabase locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
        locker.setDatabaseName(store);
        QVERIFY(locker.open());
        QSqlQuery hold(locker);
        QVERIFY(hold.exec("BEGIN EXCLUSIVE;"));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(
            ctlJson(app, {"download", "127.0.0.13", "/Pictures/a.bin", "-o", app.path() + "/b.bin"}, &out, &err), 0);
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed()))); // it was 15.6 s
        QVERIFY(QFile::exists(app.path() + "/b.bin"));
        QVERIFY2(err.contains("quorvelctl: warning: the history could not be written: " + store.toUtf8()
                     + " is locked by another program\n"),
            err.constData());
        events = jsonLines(out);
        QVERIFY(std::any_of(events.begin(), events.end(), [](const QJsonObject& e) {
            return e.value("event") == "warning" && e.value("command") == "download"
                && e.value("message").toString().startsWith("the history could not be written");
        }));
        QVERIFY(std::any_of(events.begin(), events.end(),
            [](const QJsonObject& e) { return e.value("event") == "result" && e.value("ok").toBool(); }));
        hold.exec("ROLLBACK;");
        locker.close();
    }
    QSqlDatabase::removeDatabase("locker");
    QCOMPARE(app.ctl({"history", "127.0.0.13"}, &out, &err), 0);
    QCOMPARE(out.count("file_download"), 1);
}

// Every event any command printed with --json has the keys and types the README lists
// for it; the failures of offer, serve and cast are added here.
void TestQuorvelCtl::everyJsonEventFollowsTheReadme()
{
    QFile readme(QStringLiteral(QUORVEL_SOURCE_DIR) + "/README.md");
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const int from = text.indexOf("## quorvelctl --json events");
    QVERIFY(from >= 0);
    QHash<QString, QHash<QString, QStringList>> schema; // event -> key -> types
    const QRegularExpression row("^\\| `(\\w+)` \\| (.*) \\|$", QRegularExpression::MultilineOption);
    const QRegularExpression key("`(\\w+)` \\(([a-z|\\\\]+)\\)");
    for (auto m = row.globalMatch(text.mid(from, text.indexOf("\n## ", from + 1) - from)); m.hasNext();) {
        const auto r = m.next();
        for (auto k = key.globalMatch(r.captured(2)); k.hasNext();) {
            const auto kk = k.next();
            schema[r.captured(1)][kk.captured(1)] = kk.captured(2).remove('\\').split('|');
        }
        schema[r.captured(1)]["event"] = QStringList{"string"};
    }
    QVERIFY(schema.size() >= 14);

    // Offer where it fails (a missing file); serve beside a device on its own address,
    // which leaves the client's ports free, until the time is up.
    DeviceProcess d({"--address", "127.0.0.12", "--no-mdns"});
    QVERIFY(d.isReady());
    ClientFolder app;
    QByteArray out, err;
    QCOMPARE(ctlJson(app, {"offer", "127.0.0.12", app.path() + "/none.bin"}, &out, &err), 1);
    QCOMPARE(ctlJson(app, {"serve", "--timeout", "1"}, &out, &err), 0);
    QCOMPARE(ctlJson(app, {"history", "127.0.0.99"}, &out, &err), 1);
    QCOMPARE(ctlJson(app, {"cast", "127.0.0.99"}, &out, &err), 1);
    QCOMPARE(ctlJson(app, {"devices", "rm", "127.0.0.99"}, &out, &err), 1);

    QSet<QString> seen;
    for (const QByteArray& line : s_json.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        const QString event = o.value("event").toString();
        seen.insert(event);
        QVERIFY2(schema.contains(event), line.constData());
        const QStringList keys = o.keys();
        QCOMPARE(
            QSet<QString>(keys.begin(), keys.end()), QSet<QString>(schema[event].keyBegin(), schema[event].keyEnd()));
        for (auto it = o.begin(); it != o.end(); ++it) {
            const QJsonValue v = it.value();
            const QString type = v.isString()            ? "string"
                : v.isBool()                             ? "bool"
                : v.isNull()                             ? "null"
                : v.isObject()                           ? "object"
                : v.isArray()                            ? "array"
                : v.toDouble() == qRound64(v.toDouble()) ? "int"
                                                         : "number";
            const QStringList allowed = schema[event][it.key()];
            QVERIFY2(allowed.contains(type) || (type == "int" && allowed.contains("number")), line.constData());
        }
        QVERIFY2(!o.value("command").toString().contains(' '), line.constData());
        QVERIFY2(event != "error" || !o.value("reason").toString().isEmpty(), line.constData());
    }
    for (const char* event : {"device", "entry", "progress", "result", "record", "setting", "error"})
        QVERIFY2(seen.contains(event), event);
}

QTEST_GUILESS_MAIN(TestQuorvelCtl)
#include "tst_quorvelctl.moc"
