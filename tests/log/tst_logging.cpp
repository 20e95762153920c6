#include <QtTest>

#include "AppFolder.h"
#include "ScopedTiming.h"
#include "TestFiles.h"
#include "log/CustomMsgHandler.h"
#include "log/FileLogWriter.h"
#include "log/LogLimiter.h"
#include "quorvel/tasks/Timing.h"

class TestLogging : public QObject {
    Q_OBJECT
private slots:
    void init() // a fresh folder per test
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_log = m_dir->filePath("log");
    }
    void keepsNewestFifteenAndForeignFiles();
    void writesOffTheReportingThreadByteForByte();
    void onlyOneHandlerInstalls();
    void noLogFolderDoesNotSpin();
    void floodStaysBounded();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_log; // the log folder of the test's writers
};

void TestLogging::keepsNewestFifteenAndForeignFiles()
{
    QVERIFY(QDir().mkdir(m_log));
    const QStringList foreign{"notes.txt", "Other-1.log", "QuorvelClient.txt"};
    QStringList names = foreign;
    for (int i = 0; i < 20; ++i)
        names << QString("QuorvelClient-%1.log").arg(1480000000000LL + i);
    for (const QString& name : names)
        QVERIFY(QFile(m_log + '/' + name).open(QIODevice::WriteOnly));

    FileLogWriter writer("QuorvelClient", m_log);
    writer.stop();
    const QStringList ours = QDir(m_log).entryList({"QuorvelClient*.log"}, QDir::Files, QDir::Name);
    QCOMPARE(ours.size(), 16);
    QCOMPARE(ours.first(), QString("QuorvelClient-1480000000005.log"));
    QVERIFY(ours.contains("QuorvelClient-1480000000019.log"));
    QVERIFY(
        QRegularExpression("^QuorvelClient-\\d{13}\\.log$").match(QFileInfo(writer.fileName()).fileName()).hasMatch());
    for (const QString& name : foreign)
        QVERIFY(QFile::exists(m_log + '/' + name));
}

void TestLogging::writesOffTheReportingThreadByteForByte()
{
    const mode_t oldMask = ::umask(022);
    QSemaphore diskFree;
    QThread* writingThread = nullptr;
    bool diskWasBlocked = true;
    {
        FileLogWriter writer("QuorvelClient", m_log);
        writer.setBeforeWriteForTests([&] {
            writingThread = QThread::currentThread();
            diskWasBlocked &= diskFree.tryAcquire(1, 5000); // a disk that hangs until released
        });
        // The reporting thread gets its messages off its hands while the disk hangs.
        emit writer.bridge()->onWriteMessage("a\nb");
        emit writer.bridge()->onWriteMessage("ends\n");
        emit writer.bridge()->onWriteMessage(QString::fromUtf8("[I][Test] 中文"));
        diskFree.release(3);
        // Destroying the writer right away, with no event loop run, still writes all three.
    }
    ::umask(oldMask);
    QVERIFY(diskWasBlocked);
    QVERIFY(writingThread && writingThread != QThread::currentThread());
    const QStringList files = QDir(m_log).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    QCOMPARE(AppFolder::modeOf(m_log), 0700);
    QCOMPARE(AppFolder::modeOf(m_log + '/' + files.first()), 0600);
    const QRegularExpression stamp("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d :\\t");
    QString text = QString::fromUtf8(TestFiles::read(m_log + '/' + files.first()));
    QCOMPARE(text.count(stamp), 3);
    // A line feed gets eight tabs after it; a message that ended in one gets no "\r\n",
    // so the next time stamp follows the tabs.
    QCOMPARE(text.replace(stamp, "T"),
        QString::fromUtf8("Ta\n\t\t\t\t\t\t\t\tb\r\nTends\n\t\t\t\t\t\t\t\tT[I][Test] 中文\r\n"));
}

void TestLogging::onlyOneHandlerInstalls()
{
    CustomMsgHandler first(m_log);
    CustomMsgHandler second(m_log);
    QSignalSpy firstSpy(&first, &CustomMsgHandler::message);
    QSignalSpy secondSpy(&second, &CustomMsgHandler::message);
    QVERIFY(first.install() && !second.install() && !second.uninstall());
    qWarning("[W][%s] hello", "Test");
    QVERIFY(first.uninstall() && second.install());
    qDebug("[I][%s] again", "Test");
    QVERIFY(second.uninstall());
    QCOMPARE(firstSpy, QList<QVariantList>{{QString("[W][Test] hello")}});
    QCOMPARE(secondSpy, QList<QVariantList>{{QString("[I][Test] again")}});

    first.writer()->stop();
    second.writer()->stop();
    QVERIFY(TestFiles::read(first.writer()->fileName()).contains("[W][Test] hello\r\n"));
    // Regression: two writers started in one millisecond truncated each other's file.
    QVERIFY(!second.writer()->fileName().isEmpty());
    QVERIFY(first.writer()->fileName() != second.writer()->fileName());
}

void TestLogging::noLogFolderDoesNotSpin()
{
    QVERIFY(QFile(m_log).open(QIODevice::WriteOnly)); // a file where the folder should be
    CustomMsgHandler handler(m_log);
    QMutex linesLock; // the writer reports from its own thread
    QStringList lines;
    connect(&handler, &CustomMsgHandler::message, [&](const QString& line) {
        QMutexLocker lock(&linesLock);
        lines << line;
    });
    QVERIFY(handler.install());
    qCritical("[E][%s] one", "Test");
    qCritical("[E][%s] two", "Test");
    // Each undeliverable message yields exactly one "not opened" report, and that report
    // is not fed back to the file (or stopping would never drain).
    handler.writer()->stop();
    handler.uninstall();
    QCOMPARE(lines.count("[E][Test] one"), 1); // the debug window still gets every line
    QCOMPARE(lines.count("[E][FileLogWriter] File is not opened."), 2);
    QVERIFY(handler.writer()->fileName().isEmpty());
    QVERIFY(QFileInfo(m_log).isFile());
}

// A peer's junk reaches the log as lines of a few kinds with its own text in them (what
// the inbound listener reports for 150,000 junk datagrams): the log stays small, every
// line is cut and escaped, and each kind's repeats are counted in summary lines.
void TestLogging::floodStaysBounded()
{
    const ScopedTiming timing([](Timing& t) { t.logRepeatWindowMs = 1000; });
    CustomMsgHandler handler(m_log);
    QStringList shown;
    connect(&handler, &CustomMsgHandler::message, [&](const QString& line) { shown << line; });
    QVERIFY(handler.install());

    constexpr int Datagrams = 150000;
    QByteArray junk(240, 'x');
    for (int i = 0; i < junk.size(); i += 7)
        junk[i] = "\r\x1b\a\x01\x7f<"[(i / 7) % 6];
    for (int i = 0; i < Datagrams; ++i) {
        if (i % 2)
            qCritical("[E][%s] ReplyOperate: does not support operate: %d%s", "ReplyOperate", i, junk.constData());
        else
            qCritical("[E][%s] ReplyDiscovery: pase json fail.", "ReplyOperate");
    }
    qWarning("[W][%s] one long line: %s", "Test", QByteArray(100000, 'y').constData());
    // The last window's summary comes when it ends, with nothing else logged.
    QTRY_VERIFY_WITH_TIMEOUT(
        shown.filter(QRegularExpression("^\\[E\\]\\[ReplyOperate\\] ReplyOperate: .* more like "
                                        "this in the last 1 s$"))
                .size()
            && shown.last().contains(" more like this "),
        5000);
    QVERIFY(handler.uninstall());
    handler.writer()->stop();

    const QByteArray file = TestFiles::read(handler.writer()->fileName());
    QVERIFY2(file.size() < 512 * 1024, QByteArray::number(file.size()).constData()); // it was 39 MB
    QString text = QString::fromUtf8(file);
    text.remove(
        QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d :\\t", QRegularExpression::MultilineOption));
    const QStringList lines = text.split("\r\n", Qt::SkipEmptyParts);
    QCOMPARE(lines, shown); // the window is shown what the file gets
    // Every datagram is either a line or counted in a summary.
    const QRegularExpression summary("^(.*) \\.\\.\\. ([\\d,]+) more like this in the last (\\d+) s$");
    QHash<QString, qint64> seen;
    for (const QString& line : qAsConst(lines)) {
        QVERIFY2(line.size() <= LogLimiter::MaxLineChars + 40, qPrintable(line.left(80)));
        QVERIFY2(!line.contains(QRegularExpression("[\\x00-\\x08\\x0a-\\x1f\\x7f]")), qPrintable(line.left(80)));
        const QRegularExpressionMatch m = summary.match(line);
        const QString kind = LogLimiter::kindOf(m.hasMatch() ? m.captured(1) : line);
        seen[kind] += m.hasMatch() ? QLocale(QLocale::English).toLongLong(m.captured(2)) : 1;
    }
    QCOMPARE(seen.value("[E][ReplyOperate] ReplyOperate: does not support operate: "), qint64(Datagrams / 2));
    QCOMPARE(seen.value("[E][ReplyOperate] ReplyDiscovery: pase json fail."), qint64(Datagrams / 2));
    for (const char* escaped : {"x\\x0dx", "x\\x1bx", "x\\x07x", "x\\x01x", "x\\x7fx"})
        QVERIFY2(text.contains(escaped), escaped);
    QVERIFY(
        text.contains(QRegularExpression("\\[W\\]\\[Test\\] one long line: y{1900,} \\[\\.\\.\\. 9\\d,\\d\\d\\d more "
                                         "characters\\]\\r\\n")));
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
