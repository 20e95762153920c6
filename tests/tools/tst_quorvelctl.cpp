#include <QHostAddress>
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

// Runs the client and fails the test with what it printed unless it ended with the code
// and said the words.
#define CTL(...) QVERIFY2(ctl(__VA_ARGS__), m_said.constData())

// The command-line client as a script runs it: real processes against the simulator. What
// the commands do to devices and files is the core tests'; here: the command line's own
// wiring, its exit codes and what it prints.
class TestQuorvelCtl : public QObject {
    Q_OBJECT
private slots:
    void grammar_data();
    void grammar();
    void commandsAgainstOneDevice();
    void besideARunningWindowWithAProgressBarOnlyOnATerminal();
    void interruptedDownloadLeavesAPartAndResumes();
    void names();
    void uploadToSeveralDevices();
    void writeFailures();
    void historyThatCannotBeWrittenIsSaid();
    void serveTakesOnlyThePartiesNamedIntoItsFolder();
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
    // Whether the command ended with the code and said the words (in standard output on
    // success, in standard error otherwise); what it printed stays in m_out and m_err.
    bool ctl(
        const ClientFolder& app, const QStringList& args, int code, const QByteArray& says = {}, int timeoutMs = 60000)
    {
        const int got = app.ctl(args, &m_out, &m_err, timeoutMs);
        if (args.value(0) == "--json")
            s_json += m_out;
        m_said = args.join(' ').toUtf8() + ": exit " + QByteArray::number(got) + "\n" + m_out + m_err;
        return got == code && (code ? m_err : m_out).contains(says);
    }
    // Ends a serve, reads what it printed to the end and keeps it for the schema check.
    static bool stopped(TestFiles::Output& serve)
    {
        serve.process->terminate();
        const bool ended = serve.process->waitForFinished(10000);
        serve.waitFor("never printed", false, 0);
        s_json += serve.out;
        return ended;
    }
    // A bash command line with $CTL the client of the folder: pipes and redirections.
    static int shell(const ClientFolder& app, const QString& line, QByteArray* err)
    {
        QProcess p;
        QProcessEnvironment env = app.environment();
        env.insert("CTL", app.path() + "/quorvelctl");
        p.setProcessEnvironment(env);
        p.start("bash", {"-c", line});
        if (!p.waitForFinished(60000))
            return -1;
        *err = p.readAllStandardError();
        return p.exitCode();
    }

    // Every --json output the tests saw, for the schema check at the end.
    static inline QByteArray s_json;
    QByteArray m_out, m_err, m_said;
};

// Refused or answered before any device is asked: the exit code, what the output says,
// and for usage errors the one style: the message and one line pointing to --help.
void TestQuorvelCtl::grammar_data()
{
    QTest::addColumn<QStringList>("arguments"); // a leading LANG=VALUE is the user's language
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("says"); // in standard output or error; a whole line: all of it
    QTest::addColumn<QByteArray>("never"); // in neither
    const auto usage = [](const char* tag, const QStringList& args, const char* says) {
        QTest::newRow(tag) << args << 2 << QByteArray(says) << QByteArray("Unknown option");
    };
    const auto ok = [](const char* tag, const QStringList& args, const char* says, const char* never = "") {
        QTest::newRow(tag) << args << 0 << QByteArray(says) << QByteArray(never);
    };
    ok("version", {"--version"}, "quorvelctl 1.5.5\n");
    ok("-h", {"-h"}, "quorvelctl --version");
    ok("help", {"help"}, "Commands:");
    ok("help in Chinese", {"LANG=zh_CN.UTF-8", "help"}, "命令:\n  discover [--wait SECONDS]", "Commands:");
    ok("command help in Chinese", {"LANG=zh_CN.UTF-8", "serve", "--help"}, "只写名称会被拒绝", "Take every");
    ok("help in English elsewhere", {"LANG=de_DE.UTF-8", "serve", "--help"}, "Take offers from this party");
    ok("help ls", {"help", "ls"}, "Usage: quorvelctl ls [options] DEVICE", "--help-all");
    ok("command help has the globals", {"upload", "--help"}, "  --max-time <seconds>");
    ok("json help", {"--json", "help", "ls"}, "{\"command\":\"ls\",\"event\":\"help\",\"text\":\"Usage: quorvelctl ls");
    ok("json version", {"--version", "--json"},
        "{\"event\":\"version\",\"program\":\"quorvelctl\",\"version\":\"1.5.5\"}\n");
    usage("json without command", {"--json"}, "quorvelctl: no command");
    usage("command near miss", {"lss", "127.0.0.2"}, "unknown command \"lss\"; did you mean \"ls\"?");
    usage("option near miss", {"ls", "127.0.0.2", "--jsn"}, "unknown option \"--jsn\"; did you mean \"--json\"?");
    usage("global near miss", {"--vrebose", "ls"}, "unknown option \"--vrebose\"; did you mean \"--verbose\"?");
    usage("short option", {"ls", "127.0.0.2", "-x"}, "quorvelctl: unknown option \"-x\"");
    usage("key near miss", {"config", "get", "ClientNam"}, "did you mean \"ClientName\"?");
    usage("not a known uuid", {"config", "set", "LastSelectedServerUUID", "notauuid"}, "no device this program");
    usage("stdin without name", {"upload", "127.0.0.2", "-"}, "standard input needs --name NAME");
    usage("accept from a name alone", {"serve", "--accept-from", "Board Room", "--max-time", "1"},
        "--accept-from takes ADDRESS or NAME@ADDRESS, not \"Board Room\"");
    ok("--help-all", {"--help-all"}, "Usage: quorvelctl offer", "--help-all  ");
    ok("global after command", {"config", "get", "SecureMode", "--json"},
        "{\"event\":\"setting\",\"key\":\"SecureMode\",\"value\":false}\n");
    usage("no command", {}, "Commands:");
    usage("unknown command", {"bogus"}, "quorvelctl: unknown command \"bogus\"");
    usage("device missing", {"ls"}, "quorvelctl: too few arguments");
    usage("unknown order", {"ls", "127.0.0.2", "--sort", "by_colour"}, "use name, size, time, type");
    usage("bad max-time", {"ls", "127.0.0.2", "--max-time=0"}, "--max-time takes a whole number");
    usage("wait negative", {"doctor", "--wait", "-1"},
        "--wait takes a whole number of seconds from 1 to 86400, not \"-1\"");
    QTest::newRow("option without value")
        << QStringList{"thumb", "127.0.0.2", "/a", "-o"} << 2 << QByteArray("Missing value after '-o'") << QByteArray();
    usage("empty welcome", {"welcome", "127.0.0.2", ""}, "");
    usage("no address", {"devices", "add", "not-an-ip"}, "is no ADDRESS[:PORT], known host name or IPv4 range");
    usage("no host name", {"devices", "add", "room_1!"}, "is none of ADDRESS[:PORT], HOST[:PORT] or an IPv4 range");
    usage("range too wide", {"devices", "add", "198.51.100.0/21"}, "a range is /22 to /32 (at most 1,024");
    usage("range of IPv6", {"devices", "add", "::1/120"}, "is no IPv4 range");
    ok("a range, to its network", {"devices", "add", "198.51.101.77/22"}, "added 198.51.100.0/22\n");
    usage("unknown setting", {"config", "get", "NoSuchKey"}, "unknown setting");
    usage("empty client name", {"config", "set", "clientname", ""}, "ClientName may not be empty");
    usage("bad boolean", {"config", "set", "SecureMode", "maybe"}, "SecureMode takes true or false");
    usage("bad shortcut", {"config", "set", "CastShortcut", "Ctrl+Nope"}, "is no key combination");
    usage("missing folder", {"config", "set", "DownloadPath", "/no/such/folder"}, "does not exist");
    usage("stdout and json", {"--json", "download", "127.0.0.2", "/a", "-o", "-"}, "both want standard output");
    ok("boolean as yes", {"config", "set", "ConfirmCast", "YES"}, "");
    ok("unset", {"config", "unset", "clientname"}, "");
    ok("bare devices lists", {"devices"}, "");
    QTest::newRow("removing what is not there") << QStringList{"devices", "rm", "127.0.0.9"} << 1
                                                << QByteArray("not among the hand-added devices") << QByteArray();
}

void TestQuorvelCtl::grammar()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, says);
    QFETCH(QByteArray, never);
    ClientFolder app;
    QVERIFY(app.isValid());
    for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES"})
        app.setEnvironment(name, name == QByteArray("LANG") ? "C.UTF-8" : "");
    if (arguments.value(0).startsWith("LANG="))
        app.setEnvironment("LANG", arguments.takeFirst().mid(5));
    QByteArray out, err;
    QCOMPARE(app.ctl(arguments, &out, &err), exitCode);
    QVERIFY2((exitCode ? err : out).contains(says), (out + err).constData());
    QVERIFY2(never.isEmpty() || !(out + err).contains(never), (out + err).constData());
    if (says.endsWith('\n'))
        QCOMPARE(out, says);
    if (arguments.contains("--json") && exitCode != 1) // all of standard output is JSON
        QVERIFY2(out.count('\n') == jsonLines(out).size() && !jsonLines(out).contains(QJsonObject()), out.constData());
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
    QUORVEL_DEVICE(d, {"--address", "127.0.0.2", "--no-mdns", "--name", "Board Room"});
    QUORVEL_DEVICE(silent, {"--address", "127.0.0.5", "--no-mdns", "--ignore", "file_open"});
    ClientFolder app;
    const QString up = d.folder() + QString::fromUtf8("/Quorvel/上传/");

    // Listing in the order asked for; a name with a control character stays one line; a
    // failure is one line, with the device's reason.
    QVERIFY(TestFiles::patterned(d.folder() + "/Pictures/bad\nname.png", 10).size());
    CTL(app, {"ls", "127.0.0.2:16020", "/Pictures", "--sort", "type-desc"}, 0);
    const QList<QByteArray> lines = m_out.trimmed().split('\n');
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).startsWith("file\t") && lines.at(0).endsWith("\tbad\\nname.png"));
    QVERIFY(lines.at(3).startsWith("dir\t0\t") && lines.at(3).endsWith("\t2024"));
    CTL(app, {"--json", "ls", "127.0.0.2"}, 0);
    QCOMPARE(jsonLines(m_out).size(), 3);
    CTL(app, {"ls", "127.0.0.2", "/Nope"}, 1, "No such directory.");
    QCOMPARE(m_err.trimmed().split('\n').size(), 1);
    CTL(app, {"--json", "ls", "127.0.0.99"}, 1, "127.0.0.99 did not answer");

    // A batch reports each file as it ends, and which of the batch it was; folders by the
    // window's rule with -r only; standard input under the name given.
    const QString a = TestFiles::patterned(app.path() + "/a.bin", 300000);
    const QString b = TestFiles::patterned(app.path() + QString::fromUtf8("/议程 b.txt"), 1000);
    CTL(app, {"upload", "127.0.0.2", a, b}, 0, "a.bin (file 1 of 2)\n");
    QVERIFY(m_out.contains("b.txt (file 2 of 2)\n"));
    CTL(app, {"--json", "upload", "127.0.0.2", a, app.path() + "/missing.bin"}, 1);
    QVERIFY(QDir().mkpath(app.path() + "/tree/sub"));
    QVERIFY(TestFiles::patterned(app.path() + "/tree/sub/c.txt", 700).size());
    CTL(app, {"upload", "127.0.0.2", app.path() + "/tree"}, 1, "is a folder; -r sends the files in it");
    CTL(app, {"upload", "127.0.0.2", "-r", app.path() + "/tree"}, 0);
    QCOMPARE(TestFiles::md5Of(up + "c.txt"), TestFiles::md5Of(app.path() + "/tree/sub/c.txt"));
    QCOMPARE(shell(app, "printf 'from a pipe' | $CTL upload 127.0.0.2 - --name piped.txt", &m_err), 0);
    QCOMPARE(TestFiles::read(up + "piped.txt"), QByteArray("from a pipe"));

    // Downloads to a file, into a folder to make, to standard output (and the history says
    // so, never naming a scratch file); a missing parent and a missing file said plainly.
    const QString remote = QString::fromUtf8("/Quorvel/上传/a.bin");
    CTL(app, {"config", "set", "DownloadPath", app.path()}, 0);
    CTL(app, {"--json", "download", "127.0.0.2", remote, "-o", app.path() + "/dl.bin"}, 0);
    CTL(app, {"download", "127.0.0.2", remote, "-o", app.path() + "/new/"}, 0);
    for (const char* copy : {"/dl.bin", "/new/a.bin"})
        QCOMPARE(TestFiles::md5Of(app.path() + copy), TestFiles::md5Of(a));
    CTL(app, {"download", "127.0.0.2", remote, "-o", "-"}, 0);
    QCOMPARE(QCryptographicHash::hash(m_out, QCryptographicHash::Md5).toHex(), TestFiles::md5Of(a).toLatin1());
    CTL(app, {"--json", "history", "127.0.0.2"}, 0);
    QCOMPARE(jsonLines(m_out).value(0).value("file").toString(), QString("-"));
    CTL(app, {"download", "127.0.0.2", remote, "-o", app.path() + "/none/a"}, 1,
        "the folder " + app.path().toUtf8() + "/none does not exist");
    CTL(app, {"--json", "download", "127.0.0.2", "/Quorvel/none", "-o", app.path() + "/x"}, 1, "File not exists.");
    QVERIFY(!QFile::exists(app.path() + "/x") && !QFile::exists(app.path() + "/x.part"));

    // Open, welcome, thumbnail and delete; a silent device fails with a reason that names it.
    CTL(app, {"open", "127.0.0.2", "/Pictures/lake.jpg"}, 0);
    QCOMPARE(m_out, QByteArray("File opened.\n")); // in the English of the suite's locale
    CTL(app, {"--json", "open", "127.0.0.5", "/Pictures/lake.jpg"}, 1, "did not answer");
    QVERIFY(m_err.contains("127.0.0.5"));
    CTL(app, {"--json", "welcome", "127.0.0.2", "Good morning"}, 0);
    QCOMPARE(d.waitForLog("event", "salutatory").value("text").toString(), QString("Good morning"));
    CTL(app, {"--json", "thumb", "127.0.0.2", "/Pictures/sunrise.png", "-o", app.path() + "/t.png"}, 0);
    QVERIFY(!QImage(app.path() + "/t.png").isNull());
    CTL(app, {"--json", "rm", "127.0.0.2", "/Pictures/lake.jpg"}, 0);
    QVERIFY(!QFile::exists(d.folder() + "/Pictures/lake.jpg"));
    CTL(app, {"--json", "rm", "127.0.0.2", "/Pictures/lake.jpg"}, 1,
        "deleting /Pictures/lake.jpg failed: there is no such file on 127.0.0.2:16020");

    // Hand-added devices, found by discovery and by name in any case; a near miss is named.
    CTL(app, {"devices", "add", "127.0.0.2"}, 0);
    QCOMPARE(m_out, QByteArray("added 127.0.0.2:16020\n"));
    CTL(app, {"--json", "devices", "add", "127.0.0.2:17000"}, 1, "127.0.0.2:16020 is added already");
    CTL(app, {"--json", "devices", "ls"}, 0, "\"name\":\"Board Room\"");
    QCOMPARE(jsonLines(m_out).value(0).value("port").toInt(), 16020);
    CTL(app, {"--json", "discover", "--wait", "2"}, 0, "\"found_by\":\"manual\"");
    QVERIFY(m_out.contains("\"name\":\"Board Room\""));
    CTL(app, {"ls", "board room", "/Whiteboard"}, 0, "notes.txt");
    CTL(app, {"ls", "Bord Room"}, 1, "did you mean \"Board Room\"?");
    CTL(app, {"devices", "rm", "127.0.0.2"}, 0);
    CTL(app, {"devices", "ls"}, 0);
    QVERIFY(m_out.isEmpty());

    // The history comes from the local database, also by name, while the device is off.
    d.process().terminate();
    QVERIFY(d.process().waitForFinished(5000));
    for (const QString& which : QStringList{"127.0.0.2", "BOARD ROOM"}) {
        CTL(app, {"--json", "history", which}, 0);
        const QList<QJsonObject> history = jsonLines(m_out);
        QCOMPARE(history.size(), 7);
        QCOMPARE(history.first().value("transfer").toString(), QString("file_download")); // newest first
        QCOMPARE(history.last().value("file").toString(), a);
    }
    CTL(app, {"--json", "config", "ls"}, 0);
    QCOMPARE(jsonLines(m_out).size(), 7);
    CTL(app, {"--json", "config", "set", "ConfirmCast", "no"}, 0);
    QCOMPARE(jsonLines(m_out).value(0).value("value").toBool(true), false);
    // The command-line client never writes the autostart entry.
    QVERIFY(!QFile::exists(app.path() + "/xdg-config/autostart/QuorvelClientRun.desktop"));

    // The user's paths resolve against the current directory, the client's own files
    // against its folder, whichever folder the command runs in.
    QTemporaryDir here;
    app.setWorkingDirectory(here.path());
    QVERIFY(!TestFiles::patterned(here.path() + "/one.txt", 5000).isEmpty());
    CTL(app, {"upload", "127.0.0.5", "one.txt"}, 0);
    CTL(app, {"config", "set", "ClientName", "Here"}, 0);
    for (const char* own : {"/config.ini", "/QuorvelClient.db"})
        QVERIFY(QFile::exists(app.path() + own) && !QFile::exists(here.path() + own));
}

// Beside a running window (one database, one lock) the command line works, and it draws
// its progress bar only on a terminal.
void TestQuorvelCtl::besideARunningWindowWithAProgressBarOnlyOnATerminal()
{
    QUORVEL_DEVICE(d, {"--address", "127.0.0.7", "--no-mdns"});
    ClientFolder app;
    QProcess* window = app.start({"-s"});
    QVERIFY(app.waitForLog(0, "[I][MainWindow] Client started"));
    const QString file = TestFiles::patterned(app.path() + "/bar.bin", 2000000);
    QVERIFY(QFile::copy(file, file + "2"));
    CTL(app, {"upload", "127.0.0.7", file}, 0);
    QVERIFY2(!m_err.contains('\r') && !m_err.contains('%'), m_err.constData());
    CTL(app, {"history", "127.0.0.7"}, 0, "bar.bin");
    QCOMPARE(window->state(), QProcess::Running);

    // On a pseudo-terminal (script(1) gives the client one) the bar is drawn, with the
    // place of each file in the batch.
    QProcess script;
    script.start("script",
        {"-q", "-e", "-c", app.path() + "/quorvelctl upload 127.0.0.7 " + file + " " + file + "2", "/dev/null"});
    QVERIFY(script.waitForFinished(60000));
    QCOMPARE(script.exitCode(), 0);
    const QByteArray terminal = script.readAllStandardOutput();
    QVERIFY2(terminal.contains("\rfile 2 of 2 bar.bin2") && terminal.contains("100%") && terminal.contains("MB/s"),
        terminal.constData());
}

// Ctrl-C or SIGTERM during a download: it stops at its next step, the process ends with
// 130, and what arrived stays as NAME.part, never under the final name. The same command
// then resumes from the part (how the device is asked to resume: tst_transfers).
void TestQuorvelCtl::interruptedDownloadLeavesAPartAndResumes()
{
    QTemporaryDir served;
    QVERIFY(QDir().mkpath(served.path() + "/Quorvel"));
    const QString source = TestFiles::patterned(served.path() + "/Quorvel/big.bin", 600000);
    ClientFolder app;
    const QString local = app.path() + "/big.bin";
    {
        QUORVEL_DEVICE(
            d, {"--address", "127.0.0.10", "--no-mdns", "--stall-after", "200000", "--folder", served.path()});
        QProcess ctl;
        ctl.start(app.path() + "/quorvelctl", {"download", "127.0.0.10", "/Quorvel/big.bin", "-o", local});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(local + ".part").size() >= 200000, 10000);
        ctl.terminate();
        const int hungMs = 10000; // stuck on the stalled device instead of stopping at its next step
        QVERIFY2(ctl.waitForFinished(hungMs), "still running after SIGTERM");
        QCOMPARE(ctl.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ctl.exitCode(), 130);
        QCOMPARE(QFileInfo(local + ".part").size(), qint64(200000));
        QVERIFY(!QFile::exists(local));
    }
    QUORVEL_DEVICE(d, {"--address", "127.0.0.10", "--no-mdns", "--folder", served.path()});
    CTL(app, {"download", "127.0.0.10", "/Quorvel/big.bin", "-o", local}, 0);
    QVERIFY2(m_err.contains("resuming from big.bin.part (200000 bytes)"), m_err.constData());
    QCOMPARE(TestFiles::md5Of(local), TestFiles::md5Of(source));
    QVERIFY(!QFile::exists(local + ".part"));

    // Every answer of this device comes after 1.5 s: --timeout bounds each wait, so a
    // download of several answers still ends; --max-time bounds the whole command.
    QUORVEL_DEVICE(slow, {"--address", "127.0.0.11", "--no-mdns", "--delay", "1500", "--folder", served.path()});
    CTL(app, {"download", "127.0.0.11", "/Quorvel/big.bin", "-o", app.path() + "/slow.bin", "--timeout", "3"}, 0);
    QCOMPARE(TestFiles::md5Of(app.path() + "/slow.bin"), TestFiles::md5Of(source));
    CTL(app, {"--max-time", "2", "download", "127.0.0.11", "/Quorvel/big.bin", "-o", app.path() + "/s2.bin"}, 1,
        "--max-time passed");
}

// How a device is named: a name two devices carry is refused with both, a remembered
// device is asked where it was (it is neither hand-added nor announced here), a host
// name resolves, a port out of range is a usage error.
void TestQuorvelCtl::names()
{
    QUORVEL_DEVICE(rooms, {"--address", "127.0.0.20", "--address", "127.0.0.21", "--no-mdns", "--name", "Room One"});
    QUORVEL_DEVICE(board, {"--address", "127.0.0.22", "--no-mdns", "--name", "Board Room"});
    QUORVEL_DEVICE(local, {"--address", "127.0.0.1", "--no-mdns", "--name", "Loopback"});
    ClientFolder app;
    for (const char* address : {"127.0.0.20", "127.0.0.21", "127.0.0.22"})
        CTL(app, {"devices", "add", address}, 0);
    CTL(app, {"devices", "rm", "127.0.0.22"}, 0);
    CTL(app, {"rm", "room one", "/Quorvel/readme.txt"}, 1,
        "\"room one\" names 2 devices; say which by address: \"Room One\" at 127.0.0.20:16020 (uuid "
        "02:51:7F:00:00:14), \"Room One\" at 127.0.0.21:16020 (uuid 02:51:7F:00:00:15)");
    QVERIFY(QFile::exists(rooms.folder() + "/Quorvel/readme.txt"));
    CTL(app, {"ls", "BOARD ROOM", "/Quorvel"}, 0, "readme.txt");
    CTL(app, {"ls", "localhost", "/Quorvel"}, 0, "readme.txt");
    CTL(app, {"devices", "add", "localhost"}, 0, "added localhost:16020"); // looked up at every pass
    CTL(app, {"ls", "127.0.0.20:99999"}, 2,
        "quorvelctl: \"127.0.0.20:99999\": a port is a whole number from 1 to 65535");
    CTL(app, {"devices", "add", "localhost:0"}, 2, "a port is a whole number");
}

// One file to three rooms at once (listed, then --all), one of which refuses it: the
// others get it, each device is named in its result, and the summary says which succeeded.
void TestQuorvelCtl::uploadToSeveralDevices()
{
    QUORVEL_DEVICE(one, {"--address", "127.0.0.41", "--no-mdns", "--name", "Room 1"});
    QUORVEL_DEVICE(two, {"--address", "127.0.0.42", "--no-mdns", "--name", "Room 2"});
    // Its upload folder cannot be made: the device answers "fail".
    QTemporaryDir full;
    QVERIFY(QDir().mkpath(full.path() + "/Quorvel"));
    QVERIFY(TestFiles::patterned(full.path() + QString::fromUtf8("/Quorvel/上传"), 10).size());
    QUORVEL_DEVICE(refusing, {"--address", "127.0.0.43", "--no-mdns", "--name", "Full", "--folder", full.path()});
    ClientFolder app;
    for (const char* address : {"127.0.0.41", "127.0.0.42", "127.0.0.43"})
        CTL(app, {"devices", "add", address}, 0);
    const QString file = TestFiles::patterned(app.path() + "/slides.bin", 2000000);
    CTL(app, {"upload", "127.0.0.41,127.0.0.42,127.0.0.43", file}, 1, "slides.bin to 127.0.0.43:16020 failed");
    QVERIFY2(m_out.contains("uploaded to 2 of 3 devices: 127.0.0.41:16020, 127.0.0.42:16020; failed: 127.0.0.43:16020"),
        m_said.constData());
    for (const DeviceProcess* room : {&one, &two})
        QVERIFY(QFile::remove(room->folder() + QString::fromUtf8("/Quorvel/上传/slides.bin")));
    CTL(app, {"--json", "upload", "--all", file}, 1);
    QStringList named;
    for (const QJsonObject& o : jsonLines(m_out)) {
        if (o["event"] == "result" && o["ok"].toBool())
            named.append(o["device"].toString());
    }
    named.sort();
    QCOMPARE(named, (QStringList{"127.0.0.41:16020", "127.0.0.42:16020"}));
    for (const DeviceProcess* room : {&one, &two})
        QCOMPARE(
            TestFiles::md5Of(room->folder() + QString::fromUtf8("/Quorvel/上传/slides.bin")), TestFiles::md5Of(file));
}

// Output that cannot be written is a failure with the reason: a full device, a reader
// that went away (the download is far bigger than what a pipe holds).
void TestQuorvelCtl::writeFailures()
{
    QUORVEL_DEVICE(d, {"--address", "127.0.0.23", "--no-mdns"});
    TestFiles::patterned(d.folder() + "/Quorvel/big.bin", 3000000);
    ClientFolder app;
    for (const QString& line : QStringList{"$CTL ls 127.0.0.23 > /dev/full", "$CTL --json config ls > /dev/full",
             "$CTL download 127.0.0.23 /Quorvel/big.bin -o - > /dev/full",
             "$CTL download 127.0.0.23 /Quorvel/big.bin -o - | head -c 1 > /dev/null; exit ${PIPESTATUS[0]}"}) {
        QVERIFY2(shell(app, line, &m_err) == 1, qPrintable(line + ": " + m_err));
        QVERIFY2(m_err.contains("No space left on device") || m_err.contains("Broken pipe"), m_err.constData());
    }
}

namespace {
// Whether a value is one of the README's alternatives ("`word`", EMPTY, ADDRESS:PORT...).
bool followsForm(const QJsonValue& v, const QString& forms)
{
    const QString text = v.toString();
    const double n = v.toDouble(-1);
    for (const QString& form : forms.split('|')) {
        const QString f = form.trimmed();
        if ((f.startsWith('`') && v.isString() && text == f.mid(1, f.size() - 2))
            || (f == "EMPTY" && v.isString() && text.isEmpty()) || (f == "-" && text == "-")
            || (f == "TEXT" && !text.isEmpty()) || (f == "/PATH" && text.startsWith('/'))
            || (f == "secure:/PATH" && text.startsWith("secure:/")) || (f == "ADDRESS" && !QHostAddress(text).isNull())
            || (f == "PORT" && n >= 1 && n <= 65535)
            || (f == "ADDRESS:PORT"
                && QRegularExpression("^(\\d+(\\.\\d+){3}|\\[[0-9a-fA-F:.%\\w]+\\]):\\d{1,5}$").match(text).hasMatch())
            || (f == "TIME" && n > 946684800000.0) || (f == "COUNT" && v.isDouble() && n >= 0 && n == qRound64(n))
            || (f == "PERCENT" && v.isDouble() && n >= 0 && n <= 100)
            || (f == "COMMAND" && QRegularExpression("^[a-z]+(-[a-z]+)?$").match(text).hasMatch()))
            return true;
    }
    return false;
}
} // namespace

// A damaged history is moved aside and a new one started; one that another program keeps
// locked costs the download a short wait and a warning, never its success. What the store
// then holds and how long it waits: tst_database's damagedOrLockedStore.
void TestQuorvelCtl::historyThatCannotBeWrittenIsSaid()
{
    QUORVEL_DEVICE(d, {"--address", "127.0.0.13", "--no-mdns"});
    QVERIFY(TestFiles::patterned(d.folder() + "/Pictures/a.bin", 1000).size());
    ClientFolder app;
    const QString store = app.path() + "/QuorvelClient.db";
    QVERIFY(TestFiles::write(store, QByteArray(4096, 'x'))); // damaged
    CTL(app, {"--json", "download", "127.0.0.13", "/Pictures/a.bin", "-o", app.path() + "/a.bin"}, 0);
    const QStringList aside = QDir(app.path()).entryList({"QuorvelClient.db.corrupt-*"});
    QCOMPARE(aside.size(), 1);
    const QJsonObject warning = jsonLines(m_out).value(0);
    QVERIFY2(warning.value("event") == "warning" && warning.value("command") == "download"
            && warning.value("message").toString().contains("moved aside to " + app.path() + "/" + aside.first()),
        m_out.constData());
    QVERIFY2(m_err.contains("quorvelctl: warning: " + store.toUtf8() + " was damaged"), m_err.constData());
    {
        QSqlDatabase locker = QSqlDatabase::addDatabase("QSQLITE", "locker");
        locker.setDatabaseName(store);
        QVERIFY(locker.open());
        QSqlQuery hold(locker);
        QVERIFY(hold.exec("BEGIN EXCLUSIVE;"));
        // Waiting the lock out at every statement took 15.6 s: stuck, not one bounded wait.
        const int stuckMs = 10000;
        CTL(app, {"download", "127.0.0.13", "/Pictures/a.bin", "-o", app.path() + "/b.bin"}, 0, "", stuckMs);
        QVERIFY(QFile::exists(app.path() + "/b.bin"));
        QVERIFY2(m_err.contains("quorvelctl: warning: the history could not be written: " + store.toUtf8()
                     + " is locked by another program\n"),
            m_err.constData());
        hold.exec("ROLLBACK;");
        locker.close();
    }
    QSqlDatabase::removeDatabase("locker");
}

// serve --accept-from takes the parties named (by address, or by name and address) into
// --dir, without asking, and declines everybody else, also one that claims a trusted name;
// a download lands where the user is.
void TestQuorvelCtl::serveTakesOnlyThePartiesNamedIntoItsFolder()
{
    QUORVEL_DEVICE(trusted, {"--address", "127.0.0.13", "--no-mdns", "--name", "Board Room"});
    QUORVEL_DEVICE(named, {"--address", "127.0.0.15", "--no-mdns", "--name", "Lobby"});
    QUORVEL_DEVICE(other, {"--address", "127.0.0.14", "--no-mdns", "--name", "LOBBY"}); // a name any host may give
    ClientFolder app;
    QTemporaryDir inbox;
    TestFiles::Output serve(app.startWith(app.ctlProgram(),
        {"--json", "serve", "--dir", inbox.path(), "--accept-from", "127.0.0.13", "--accept-from", "lobby@127.0.0.15",
            "--max-time", "30"}));
    const QByteArray& served = serve.out;
    QVERIFY2(serve.waitFor("\"serving\"") && served.contains(inbox.path().toUtf8()), served.constData());
    other.command("offer 127.0.0.1 /Quorvel/agenda.txt");
    QVERIFY2(serve.waitFor("\"declined\""), served.constData());
    trusted.command("offer 127.0.0.1 /Quorvel/readme.txt");
    QVERIFY2(serve.waitFor("\"result\""), served.constData());
    named.command("offer 127.0.0.1 /Whiteboard/notes.txt");
    QVERIFY2(serve.waitFor("\"result\"", false, 30000, 2), served.constData());
    QVERIFY(stopped(serve));
    QCOMPARE(
        TestFiles::md5Of(inbox.path() + "/readme.txt"), TestFiles::md5Of(trusted.folder() + "/Quorvel/readme.txt"));
    QCOMPARE(TestFiles::md5Of(inbox.path() + "/notes.txt"), TestFiles::md5Of(named.folder() + "/Whiteboard/notes.txt"));
    QVERIFY(!QFile::exists(inbox.path() + "/agenda.txt"));
    QVERIFY(other.requests("file_download").isEmpty()); // nothing fetched from the stranger
    for (const QJsonObject& o : jsonLines(served)) {
        if (o["event"] == "declined")
            QCOMPARE(o["device"].toString().section(':', 0, 0), QString("127.0.0.14"));
    }

    QTemporaryDir here;
    app.setWorkingDirectory(here.path());
    CTL(app, {"download", "127.0.0.13", "/Quorvel/agenda.txt"}, 0);
    QCOMPARE(TestFiles::md5Of(here.path() + "/agenda.txt"), TestFiles::md5Of(trusted.folder() + "/Quorvel/agenda.txt"));
}

// Every event any command printed with --json has the keys, types and values the
// README lists for it; every event of the list is seen (a cast needs a screen: its
// events are the cast tests'). Offers and their answers are matched by id.
void TestQuorvelCtl::everyJsonEventFollowsTheReadme()
{
    QFile readme(QStringLiteral(QUORVEL_SOURCE_DIR) + "/README.md");
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    const int from = text.indexOf("## quorvelctl --json events");
    QVERIFY(from >= 0);
    struct Key {
        QStringList types;
        QString forms;
    };
    QHash<QString, QHash<QString, Key>> schema; // event -> key -> types and values
    const QRegularExpression row("^\\| `(\\w+)` \\| (.*) \\|$", QRegularExpression::MultilineOption);
    const QRegularExpression key("`(\\w+)` \\(([a-z|\\\\]+)(?:: ([^)]*))?\\)");
    for (auto m = row.globalMatch(text.mid(from, text.indexOf("\n## ", from + 1) - from)); m.hasNext();) {
        const auto r = m.next();
        for (auto k = key.globalMatch(r.captured(2)); k.hasNext();) {
            const auto kk = k.next();
            schema[r.captured(1)][kk.captured(1)]
                = {kk.captured(2).remove('\\').split('|'), kk.captured(3).replace("\\|", "|")};
        }
        schema[r.captured(1)]["event"] = {{"string"}, "`" + r.captured(1) + "`"};
    }
    QVERIFY(schema.size() >= 17);

    QUORVEL_DEVICE(d, {"--address", "127.0.0.12", "--no-mdns", "--name", "Contract"});
    ClientFolder app;
    const QString big = TestFiles::patterned(app.path() + "/big.bin", 8000000);
    CTL(app, {"--json"}, 2);
    CTL(app, {"--json", "--version"}, 0);
    CTL(app, {"--json", "help", "upload"}, 0);
    CTL(app, {"--json", "devices", "add", "127.0.0.12"}, 0);
    CTL(app, {"--json", "devices", "add", "127.0.0.98"}, 0); // silent: a warning
    QCOMPARE(jsonLines(m_out).value(0).value("event").toString(), QString("warning"));
    CTL(app, {"--json", "devices", "add", "198.51.100.4/30"}, 0);
    CTL(app, {"--json", "devices"}, 0);
    CTL(app, {"--json", "discover", "--wait", "1"}, 0);
    CTL(app, {"--json", "upload", "127.0.0.12", big}, 0);
    QVERIFY2(
        !jsonLines(m_out).value(jsonLines(m_out).size() - 2).value("bytes_per_second").isNull(), m_out.constData());
    CTL(app, {"--json", "download", "127.0.0.12", "/Quorvel/上传/big.bin", "-o", app.path() + "/back/"}, 0);
    CTL(app, {"--json", "history", "127.0.0.12"}, 0);
    CTL(app, {"--json", "ls", "127.0.0.12", "/Quorvel"}, 0);
    CTL(app, {"--json", "config", "get", "SecureMode"}, 0);

    // Serving what the device offers: one taken on a yes, one declined once standard input ended.
    TestFiles::Output serve(app.startWith(app.ctlProgram(), {"--json", "serve", "--ask", "--max-time", "30"}));
    const QByteArray& served = serve.out;
    QVERIFY2(serve.waitFor("\"serving\"") && serve.send("y"), served.constData());
    d.command("offer 127.0.0.1 /Quorvel/readme.txt");
    QVERIFY2(serve.waitFor("\"result\""), served.constData());
    serve.process->closeWriteChannel();
    QVERIFY2(serve.waitFor("\"warning\""), served.constData());
    d.command("offer 127.0.0.1 /Quorvel/agenda.txt");
    QVERIFY2(serve.waitFor("\"declined\""), served.constData());
    QVERIFY(stopped(serve));
    QHash<QString, int> offered;
    for (const QJsonObject& o : jsonLines(served)) {
        if (o["event"] == "offered")
            offered.insert(o["remote"].toString(), o["id"].toInt());
        if (o["event"] == "accepted" || o["event"] == "declined")
            QCOMPARE(o["id"].toInt(), offered.value(o["remote"].toString(), -1));
    }
    QCOMPARE(offered.size(), 2);

    // Offering to the device, which fetches at once; the failures of offer, history, cast, devices.
    CTL(app, {"--json", "offer", "127.0.0.12", big, "--wait", "30"}, 0);
    CTL(app, {"--json", "offer", "127.0.0.12", app.path() + "/none.bin"}, 1);
    CTL(app, {"--json", "history", "127.0.0.99"}, 1);
    CTL(app, {"--json", "cast", "127.0.0.99"}, 1);
    CTL(app, {"--json", "devices", "rm", "127.0.0.99"}, 1);
    QVERIFY2(ctl(app, {"--json", "doctor", "--wait", "1"}, 0) || m_said.contains(": exit 1\n"), m_said.constData());

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
            const Key& allowed = schema[event][it.key()];
            QVERIFY2(
                allowed.types.contains(type) || (type == "int" && allowed.types.contains("number")), line.constData());
            QVERIFY2(v.isNull() || allowed.forms.isEmpty() || followsForm(v, allowed.forms),
                qPrintable(it.key() + ": " + line));
        }
    }
    for (const QString& event : schema.keys())
        QVERIFY2(seen.contains(event) || event == "cast", qPrintable(event));
}

QTEST_GUILESS_MAIN(TestQuorvelCtl)
#include "tst_quorvelctl.moc"
