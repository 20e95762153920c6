#include <QtTest>
#include <memory>

#include "AppFolder.h"
#include "ClientFolder.h"
#include "TestFiles.h"
#include "platform/AppFolders.h"
#include "platform/Autostart.h"
#include "platform/ProgramLauncher.h"
#include "utils/FileUtil.h"

#include <sys/stat.h>
#include <unistd.h>

// Where the client keeps its files: in a folder of its own it may write, else in the
// user's XDG folders, owner-only; and the command-line client installed that way. What
// the desktop is told: the autostart entry, programs started, a file's digest.
class TestAppFolders : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_dir.reset(); }
    void decision_data();
    void decision();
    void installedCommandLineClientKeepsItsFilesInTheUsersFolders();
    void autostartEntry();
    void launchedProgramCallbackRunsBeforeWaitEndsAndNotOnFailure();
    void md5OfFiles();

private:
    std::unique_ptr<QTemporaryDir> m_dir; // the current folder, and XDG_CONFIG_HOME's
};

void TestAppFolders::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path() + "/xdg"));
}

void TestAppFolders::decision_data()
{
    QTest::addColumn<bool>("ownFolder");
    // NAME=VALUE, "~" the home folder; runtime:MODE makes ~/r so and names it XDG_RUNTIME_DIR
    QTest::addColumn<QStringList>("environment");
    // config, data, log, runtime, download; "@" the program folder, "#" the user's own
    // runtime folder in the temporary folder
    QTest::addColumn<QStringList>("expected");
    const QString userDirs = "XDG_DOWNLOAD_DIR=\"$HOME/Fetched\"";
    QTest::newRow("a folder of its own keeps everything")
        << true << QStringList{"XDG_CONFIG_HOME=~/c"} << QStringList{"@/config.ini", "@", "@/log", "#", "@/Download/"};
    QTest::newRow("installed: the XDG folders")
        << false << QStringList{"XDG_CONFIG_HOME=~/c", "XDG_DATA_HOME=~/d", "XDG_STATE_HOME=~/s", "runtime:700"}
        << QStringList{"~/c/quorvel/config.ini", "~/d/quorvel", "~/s/quorvel/log", "~/r", "~/Downloads"};
    QTest::newRow("a runtime folder others may enter is not used")
        << false << QStringList{"runtime:755"}
        << QStringList{"~/.config/quorvel/config.ini", "~/.local/share/quorvel", "~/.local/state/quorvel/log", "#",
               "~/Downloads"};
    QTest::newRow("installed: their defaults, relative values ignored")
        << false << QStringList{"XDG_CONFIG_HOME=c", "XDG_STATE_HOME=relative/s"}
        << QStringList{"~/.config/quorvel/config.ini", "~/.local/share/quorvel", "~/.local/state/quorvel/log", "#",
               "~/Downloads"};
    QTest::newRow("installed: the user's download folder")
        << false << QStringList{"XDG_CONFIG_HOME=~/c", "user-dirs:" + userDirs}
        << QStringList{
               "~/c/quorvel/config.ini", "~/.local/share/quorvel", "~/.local/state/quorvel/log", "#", "~/Fetched"};
}

void TestAppFolders::decision()
{
    QFETCH(bool, ownFolder);
    QFETCH(QStringList, environment);
    QFETCH(QStringList, expected);
    AppFolder program;
    QTemporaryDir home;
    QVERIFY(program.isValid() && home.isValid());
    if (!ownFolder)
        QVERIFY(program.makeReadOnly()); // by its bits: read-only for root as well
    QProcessEnvironment env;
    env.insert("HOME", home.path());
    for (QString e : environment) {
        e.replace("~", home.path());
        if (e.startsWith("user-dirs:")) {
            QVERIFY(QDir().mkpath(env.value("XDG_CONFIG_HOME")));
            QVERIFY(TestFiles::write(env.value("XDG_CONFIG_HOME") + "/user-dirs.dirs",
                "# written by xdg-user-dirs-update\n" + e.mid(10).toUtf8() + "\n"));
            continue;
        }
        if (e.startsWith("runtime:")) {
            QVERIFY(QDir().mkpath(home.path() + "/r"));
            QVERIFY(::chmod(QFile::encodeName(home.path() + "/r").constData(), e.mid(8).toUInt(nullptr, 8)) == 0);
            env.insert("XDG_RUNTIME_DIR", home.path() + "/r");
            continue;
        }
        env.insert(e.section('=', 0, 0), e.section('=', 1));
    }
    const AppFolders folders = AppFolders::forProgram(program.path(), env);
    QCOMPARE(folders.isInstalled(), !ownFolder);
    QStringList got{folders.configFile(), folders.dataFolder(), folders.logFolder(), folders.runtimeFolder(),
        folders.defaultDownloadFolder()};
    for (QString& e : expected) {
        e.replace("@", program.path()).replace("~", home.path());
        e.replace("#", QDir::tempPath() + "/quorvel-runtime-" + QString::number(::geteuid()));
    }
    QCOMPARE(got, expected);
    // A system folder of programs is never a copy's own, even for root who may write it.
    QVERIFY(!AppFolders::programFolderIsOwn("/usr/bin"));
    QCOMPARE(AppFolder::modeOf(folders.runtimeFolder()), 0700);
}

void TestAppFolders::installedCommandLineClientKeepsItsFilesInTheUsersFolders()
{
    // quorvelctl in a folder it may not write, as a package installs it.
    ClientFolder program(ClientFolder::CommandLineOnly);
    QTemporaryDir home;
    QVERIFY(program.isValid() && home.isValid());
    QVERIFY(QFile::setPermissions(program.path(), QFile::ReadOwner | QFile::ExeOwner));
    const QString state = home.path() + "/state/quorvel/log";
    QVERIFY(QDir().mkpath(state));
    for (int i = 0; i < 20; ++i) // the window's logs: another program's rotation
        QVERIFY(QFile(state + QString("/QuorvelClient-%1.log").arg(1000 + i)).open(QIODevice::WriteOnly));
    program.setWorkingDirectory(home.path());
    program.setEnvironment("HOME", home.path());
    for (const char* kind : {"CONFIG", "DATA", "STATE"})
        program.setEnvironment(QString("XDG_%1_HOME").arg(kind), home.path() + "/" + QString(kind).toLower());
    for (int i = 0; i < 16; ++i) // more runs than the rotation keeps
        QCOMPARE(program.ctl({"config", "set", "ClientName", QString("Kiosk %1").arg(i)}), 0);

    const QString config = home.path() + "/config/quorvel/config.ini";
    QVERIFY2(TestFiles::read(config).contains("ClientName=Kiosk 15"), qPrintable(config));
    QCOMPARE(AppFolder::modeOf(config), 0600);
    for (const QString& folder : {home.path() + "/config/quorvel", home.path() + "/data/quorvel", state})
        QCOMPARE(AppFolder::modeOf(folder), 0700);
    QVERIFY(QFile::exists(home.path() + "/data/quorvel/QuorvelClient.db"));
    QCOMPARE(QDir(program.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"quorvelctl"});
    // Its own log files, rotated apart: the window's are all still there.
    QCOMPARE(QDir(state).entryList({"QuorvelClient-*.log"}, QDir::Files).size(), 20);
    const QStringList own = QDir(state).entryList({"quorvelctl-*.log"}, QDir::Files);
    QVERIFY2(own.size() == 16, qPrintable(own.join(' ')));

    // --config names another settings file; downloads default to the user's folder.
    const QString other = home.path() + "/other.ini";
    QCOMPARE(program.ctl({"--config", other, "config", "set", "ClientName", "Elsewhere"}), 0);
    const QList<QPair<QStringList, QString>> reads{{{"config", "get", "ClientName"}, "Kiosk 15"},
        {{"--config=" + other, "config", "get", "ClientName"}, "Elsewhere"},
        {{"config", "get", "DownloadPath"}, home.path() + "/Downloads"}};
    for (const auto& read : reads) {
        QByteArray out;
        QCOMPARE(program.ctl(read.first, &out), 0);
        QCOMPARE(QString::fromUtf8(out.trimmed()), read.second);
    }
}

// Adding, replacing and removing the entry as settings change is covered in tst_config;
// here: where it lands, what a desktop session reads from it, and quoting.
void TestAppFolders::autostartEntry()
{
    QCOMPARE(Autostart::command("QuorvelClientRun"), QString());
    QVERIFY(Autostart::remove("QuorvelClientRun")); // absent is fine
    QVERIFY(Autostart::add("QuorvelClientRun", "/A/quorvel", "-s"));
    QCOMPARE(Autostart::entryPath("QuorvelClientRun"), m_dir->path() + "/xdg/autostart/QuorvelClientRun.desktop");
    QVERIFY(!Autostart::has("QuorvelClientRun", "/a/quorvel")); // case-sensitive
    const QByteArray content = TestFiles::read(Autostart::entryPath("QuorvelClientRun"));
    QVERIFY(content.startsWith("[Desktop Entry]\n"));
    QVERIFY(content.contains("\nType=Application\n") && content.contains("\nExec=/A/quorvel -s\n"));

    // Paths with spaces, quotes and dollars survive the desktop-entry quoting.
    const QString odd = "/opt/My \"Apps\"/$x/quorvel";
    QVERIFY(Autostart::add("QuorvelClientRun", odd, "-s"));
    QCOMPARE(Autostart::command("QuorvelClientRun"), odd + " -s");
    QVERIFY(Autostart::has("QuorvelClientRun", odd));

    // An unwritable place is reported, not ignored.
    qputenv("XDG_CONFIG_HOME", "/proc/quorvel-no-such-place");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^\\[W\\]\\[Autostart\\] make autostart dir"));
    QVERIFY(!Autostart::add("QuorvelClientRun", "/A/quorvel", "-s"));
}

void TestAppFolders::launchedProgramCallbackRunsBeforeWaitEndsAndNotOnFailure()
{
    int runs = 0;
    std::unique_ptr<QRunnable> callback(QRunnable::create([&] {
        ++runs;
        QFile(m_dir->path() + "/go").open(QIODevice::WriteOnly);
    }));
    callback->setAutoDelete(false);
    QTest::ignoreMessage(QtWarningMsg, "[W][ProgramLauncher] start /no/such/program -a b fail.");
    QVERIFY(!ProgramLauncher::launch("/no/such/program", "-a b", false, true, callback.get()));
    QCOMPARE(runs, 0);
    QTest::ignoreMessage(QtWarningMsg, "[W][ProgramLauncher] start quorvel-no-such-tool  fail.");
    QVERIFY(!ProgramLauncher::launch("quorvel-no-such-tool", "", false, false, nullptr));

    // The child waits for the callback's file, then writes its own: if the callback ran
    // only after the wait, the child would give up and write "timeout".
    const QString script = "i=0; while [ ! -e go ]; do i=$((i+1)); [ $i -gt 1000 ] && { echo timeout > out; exit 1; }; "
                           "sleep 0.01; done; echo done > out";
    QVERIFY(ProgramLauncher::launch("sh", "-c \"" + script + "\"", false, true, callback.get()));
    QCOMPARE(runs, 1);
    QFile out("out");
    QVERIFY2(out.open(QIODevice::ReadOnly), "wait returned before the program ended");
    QCOMPARE(out.readAll(), QByteArray("done\n"));
}

void TestAppFolders::md5OfFiles()
{
    // A file's digest: every transfer test's digests compare through it.
    QVERIFY(QFile("empty").open(QIODevice::WriteOnly));
    QCOMPARE(getFileMd5("empty"), QString("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(getFileMd5("missing"), QString());
    QCOMPARE(getFileMd5(m_dir->path()), QString()); // a folder is no file
}

QTEST_GUILESS_MAIN(TestAppFolders)
#include "tst_appfolders.moc"
