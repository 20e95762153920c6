#include <QDir>
#include <QFile>
#include <QRunnable>
#include <QTemporaryDir>
#include <QtTest>

#include "utils/FileUtil.h"
#include "utils/WinUtils.h"

namespace {
class FlagRunnable : public QRunnable {
public:
    explicit FlagRunnable(QString path)
        : m_path(std::move(path))
    {
        setAutoDelete(false);
    }
    void run() override
    {
        ++runs;
        QFile f(m_path);
        f.open(QIODevice::WriteOnly);
    }
    int runs = 0;

private:
    QString m_path;
};
} // namespace

class TestWinUtils : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void runEntries();
    void callbackRunsBeforeWaitEnds();
    void launchFailureIsReported();
    void md5OfFiles();

private:
    QTemporaryDir* m_dir = nullptr;
};

void TestWinUtils::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir->path() + "/xdg"));
}

void TestWinUtils::cleanup()
{
    delete m_dir;
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

void TestWinUtils::callbackRunsBeforeWaitEnds()
{
    // The child waits for the callback's file, then writes its own: if the callback ran
    // only after the wait, the child would give up and write "timeout".
    const QString script = "i=0; while [ ! -e go ]; do i=$((i+1)); [ $i -gt 1000 ] && { echo timeout > out; exit 1; }; "
                           "sleep 0.01; done; echo done > out";
    FlagRunnable callback(m_dir->path() + "/go");
    QVERIFY(WinUtils::openExecuteFile("sh", "-c \"" + script + "\"", false, true, &callback));
    QCOMPARE(callback.runs, 1);
    QFile out("out");
    QVERIFY2(out.open(QIODevice::ReadOnly), "wait returned before the program ended");
    QCOMPARE(out.readAll(), QByteArray("done\n"));
}

void TestWinUtils::launchFailureIsReported()
{
    FlagRunnable callback(m_dir->path() + "/go");
    QTest::ignoreMessage(QtWarningMsg, "ShellExecuteEx /no/such/program -a b fail.");
    QVERIFY(!WinUtils::openExecuteFile("/no/such/program", "-a b", false, true, &callback));
    QCOMPARE(callback.runs, 0);
    QTest::ignoreMessage(QtWarningMsg, "ShellExecuteEx quorvel-no-such-tool  fail.");
    QVERIFY(!WinUtils::openExecuteFile("quorvel-no-such-tool", "", false, false, nullptr));
}

void TestWinUtils::md5OfFiles()
{
    QFile empty("empty");
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    QCOMPARE(getFileMd5("empty"), QString("d41d8cd98f00b204e9800998ecf8427e"));
    QFile abc("abc");
    QVERIFY(abc.open(QIODevice::WriteOnly));
    abc.write("abc");
    abc.close();
    QCOMPARE(getFileMd5("abc"), QString("900150983cd24fb0d6963f7d28e17f72"));
    QCOMPARE(getFileMd5("missing"), QString());
    QCOMPARE(getFileMd5(m_dir->path()), QString()); // a folder is no file
}

QTEST_GUILESS_MAIN(TestWinUtils)
#include "tst_winutils.moc"
