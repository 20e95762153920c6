#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "log/CustomMsgHandler.h"
#include "log/FileLogWriter.h"

class TestLogging : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void keepsNewestFifteenAndForeignFiles();
    void writesLinesByteForByte();
    void onlyOneHandlerInstalls();
    void noLogFolderDoesNotSpin();

private:
    QByteArray waitForLogContent(FileLogWriter* writer, const QByteArray& needle);
    QTemporaryDir* m_dir = nullptr;
    QString m_oldCwd;
};

void TestLogging::init()
{
    m_oldCwd = QDir::currentPath();
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    QDir::setCurrent(m_dir->path());
}

void TestLogging::cleanup()
{
    QDir::setCurrent(m_oldCwd);
    delete m_dir;
}

QByteArray TestLogging::waitForLogContent(FileLogWriter* writer, const QByteArray& needle)
{
    QByteArray content;
    QDeadlineTimer deadline(5000);
    while (writer->fileName().isEmpty() && !deadline.hasExpired())
        QTest::qWait(10);
    QFile file(writer->fileName());
    for (int i = 0; i < 250 && !content.contains(needle); ++i) {
        QCoreApplication::processEvents();
        if (file.open(QIODevice::ReadOnly)) {
            content = file.readAll();
            file.close();
        }
        if (!content.contains(needle))
            QTest::qWait(20);
    }
    return content;
}

void TestLogging::keepsNewestFifteenAndForeignFiles()
{
    QDir().mkdir("log");
    for (int i = 0; i < 20; ++i) {
        QFile f(QString("log/QuorvelClient-%1.log").arg(1480000000000LL + i));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    for (const char* foreign : {"log/notes.txt", "log/Other-1.log", "log/QuorvelClient.txt"}) {
        QFile f(foreign);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }

    FileLogWriter writer("QuorvelClient");
    QTRY_VERIFY_WITH_TIMEOUT(!writer.fileName().isEmpty(), 5000);
    const QStringList ours = QDir("log").entryList({"QuorvelClient*.log"}, QDir::Files, QDir::Name);
    QCOMPARE(ours.size(), 16);
    QCOMPARE(ours.first(), QString("QuorvelClient-1480000000005.log"));
    QVERIFY(ours.contains("QuorvelClient-1480000000019.log"));
    QVERIFY(
        QRegularExpression("^QuorvelClient-\\d{13}\\.log$").match(QFileInfo(writer.fileName()).fileName()).hasMatch());
    QVERIFY(QFile::exists("log/notes.txt"));
    QVERIFY(QFile::exists("log/Other-1.log"));
    QVERIFY(QFile::exists("log/QuorvelClient.txt"));
}

void TestLogging::writesLinesByteForByte()
{
    FileLogWriter writer("QuorvelClient");
    emit writer.bridge()->onWriteMessage("a\nb");
    emit writer.bridge()->onWriteMessage("ends\n");
    emit writer.bridge()->onWriteMessage(QString::fromUtf8("[I][Test] 中文"));
    const QByteArray content = waitForLogContent(&writer, "中文");

    const QRegularExpression stamp("\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d :\\t");
    QString text = QString::fromUtf8(content);
    QCOMPARE(text.count(stamp), 3);
    text.replace(stamp, "T");
    // A line feed gets eight tabs after it; a message that ended in one gets no "\r\n",
    // so the next time stamp follows the tabs.
    QCOMPARE(text, QString::fromUtf8("Ta\n\t\t\t\t\t\t\t\tb\r\nTends\n\t\t\t\t\t\t\t\tT[I][Test] 中文\r\n"));
}

void TestLogging::onlyOneHandlerInstalls()
{
    CustomMsgHandler first;
    CustomMsgHandler second;
    QVERIFY(first.install());
    QVERIFY(!second.install());
    QVERIFY(!second.uninstall());

    QSignalSpy firstSpy(&first, &CustomMsgHandler::message);
    QSignalSpy secondSpy(&second, &CustomMsgHandler::message);
    qWarning("[W][%s] hello", "Test");
    QCOMPARE(firstSpy.count(), 1);
    QCOMPARE(firstSpy.at(0).at(0).toString(), QString("[W][Test] hello"));
    QCOMPARE(secondSpy.count(), 0);

    QVERIFY(first.uninstall());
    QVERIFY(second.install());
    qDebug("[I][%s] again", "Test");
    QCOMPARE(secondSpy.count(), 1);
    QCOMPARE(firstSpy.count(), 1);
    QVERIFY(second.uninstall());

    const QByteArray content = waitForLogContent(first.writer(), "hello");
    QVERIFY(content.contains("[W][Test] hello\r\n"));
    // Regression: two writers started in one millisecond truncated each other's file.
    QTRY_VERIFY(!second.writer()->fileName().isEmpty());
    QVERIFY(first.writer()->fileName() != second.writer()->fileName());
}

void TestLogging::noLogFolderDoesNotSpin()
{
    {
        QFile blocker("log"); // a file where the folder should be
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    CustomMsgHandler handler;
    QSignalSpy spy(&handler, &CustomMsgHandler::message);
    QVERIFY(handler.install());
    const auto countOf = [&spy](const QString& text) {
        int n = 0;
        for (const QList<QVariant>& call : spy)
            n += call.at(0).toString() == text;
        return n;
    };
    const QString notOpened = QStringLiteral("[E][FileLogWriter] File is not opened.");

    qCritical("[E][%s] one", "Test");
    qCritical("[E][%s] two", "Test");
    QCOMPARE(countOf("[E][Test] one"), 1); // the debug window still gets every line
    // Each undeliverable message yields exactly one "not opened" report, and that report
    // is not fed back to the file: once the queue drains, nothing more arrives.
    QTRY_COMPARE_WITH_TIMEOUT(countOf(notOpened), 2, 5000);
    for (int i = 0; i < 5; ++i)
        QCoreApplication::sendPostedEvents();
    QCOMPARE(countOf(notOpened), 2);
    QVERIFY(handler.writer()->fileName().isEmpty());
    QVERIFY(QFileInfo("log").isFile());
    handler.uninstall();
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
