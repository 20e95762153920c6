#include <QDir>
#include <QFile>
#include <QRunnable>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "platform/WinUtils.h"
#include "utils/FileUtil.h"

class TestWinUtils : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_dir.reset(); }
    void runEntries();
    void callbackRunsBeforeWaitEndsAndNotOnFailure();
    void md5OfFiles();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestWinUtils::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path() + "/xdg"));
}

// Adding, replacing and removing the entry as settings change is covered in tst_config;
// here: where it lands, what a desktop session reads from it, and quoting.
void TestWinUtils::runEntries()
{
    QCOMPARE(WinUtils::runEntryCommand("QuorvelClientRun"), QString());
    QVERIFY(WinUtils::removeRunEntry("QuorvelClientRun")); // absent is fine
    QVERIFY(WinUtils::addRunEntry("QuorvelClientRun", "/A/quorvel", "-s"));
    QCOMPARE(WinUtils::runEntryPath("QuorvelClientRun"), m_dir->path() + "/xdg/autostart/QuorvelClientRun.desktop");
    QVERIFY(!WinUtils::hasRunEntry("QuorvelClientRun", "/a/quorvel")); // case-sensitive
    QFile file(WinUtils::runEntryPath("QuorvelClientRun"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.startsWith("[Desktop Entry]\n"));
    QVERIFY(content.contains("\nType=Application\n") && content.contains("\nExec=/A/quorvel -s\n"));

    // Paths with spaces, quotes and dollars survive the desktop-entry quoting.
    const QString odd = "/opt/My \"Apps\"/$x/quorvel";
    QVERIFY(WinUtils::addRunEntry("QuorvelClientRun", odd, "-s"));
    QCOMPARE(WinUtils::runEntryCommand("QuorvelClientRun"), odd + " -s");
    QVERIFY(WinUtils::hasRunEntry("QuorvelClientRun", odd));

    // An unwritable place is reported, not ignored.
    qputenv("XDG_CONFIG_HOME", "/proc/quorvel-no-such-place");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^\\[W\\]\\[WinUtils\\] make autostart dir"));
    QVERIFY(!WinUtils::addRunEntry("QuorvelClientRun", "/A/quorvel", "-s"));
}

void TestWinUtils::callbackRunsBeforeWaitEndsAndNotOnFailure()
{
    int runs = 0;
    std::unique_ptr<QRunnable> callback(QRunnable::create([&] {
        ++runs;
        QFile(m_dir->path() + "/go").open(QIODevice::WriteOnly);
    }));
    callback->setAutoDelete(false);
    QTest::ignoreMessage(QtWarningMsg, "ShellExecuteEx /no/such/program -a b fail.");
    QVERIFY(!WinUtils::openExecuteFile("/no/such/program", "-a b", false, true, callback.get()));
    QCOMPARE(runs, 0);
    QTest::ignoreMessage(QtWarningMsg, "ShellExecuteEx quorvel-no-such-tool  fail.");
    QVERIFY(!WinUtils::openExecuteFile("quorvel-no-such-tool", "", false, false, nullptr));

    // The child waits for the callback's file, then writes its own: if the callback ran
    // only after the wait, the child would give up and write "timeout".
    const QString script = "i=0; while [ ! -e go ]; do i=$((i+1)); [ $i -gt 1000 ] && { echo timeout > out; exit 1; }; "
                           "sleep 0.01; done; echo done > out";
    QVERIFY(WinUtils::openExecuteFile("sh", "-c \"" + script + "\"", false, true, callback.get()));
    QCOMPARE(runs, 1);
    QFile out("out");
    QVERIFY2(out.open(QIODevice::ReadOnly), "wait returned before the program ended");
    QCOMPARE(out.readAll(), QByteArray("done\n"));
}

void TestWinUtils::md5OfFiles()
{
    // A file's digest: every transfer test's digests compare through it.
    QVERIFY(QFile("empty").open(QIODevice::WriteOnly));
    QCOMPARE(getFileMd5("empty"), QString("d41d8cd98f00b204e9800998ecf8427e"));
    QCOMPARE(getFileMd5("missing"), QString());
    QCOMPARE(getFileMd5(m_dir->path()), QString()); // a folder is no file
}

QTEST_GUILESS_MAIN(TestWinUtils)
#include "tst_winutils.moc"
