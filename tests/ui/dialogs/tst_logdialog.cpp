#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#include "log/CustomMsgHandler.h"
#include "ui/dialogs/LogDialog.h"

class TestLogDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QDir::setCurrent(m_dir.path()); }
    void colouring_data();
    void colouring();
    void showsEveryLineUntilCleared();
    void keepsTheLastLinesAsText();

private:
    QTemporaryDir m_dir;
};

void TestLogDialog::colouring_data()
{
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QString>("line");
    const char* const rows[][2]
        = {{"[E][X] a", "<font color=red>[E][X] a</font>"}, {"[W][X] a", "<font color=orange>[W][X] a</font>"},
            {"[I][X] a", "<font color=green>[I][X] a</font>"}, {"[D][X] a", "<font color=blue>[D][X] a</font>"},
            {"[Q][X] a", "[Q][X] a"}, {"E", "E"}, {"", ""}, {"[E]<b>&", "<font color=red>[E]&lt;b&gt;&amp;</font>"},
            {"<i>", "&lt;i&gt;"}}; // other letters, short, empty, escaped
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString(row[0]) << QString(row[1]);
}

void TestLogDialog::colouring()
{
    QFETCH(QString, msg);
    QFETCH(QString, line);
    QCOMPARE(LogDialog::colouredLine(msg), line);
}

void TestLogDialog::showsEveryLineUntilCleared()
{
    LogDialog dialog(m_dir.path() + "/log");
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("QuorvelClient调试窗口"));
    QCOMPARE(dialog.size(), QSize(618, 362));
    auto* edit = dialog.findChild<QTextEdit*>("logTextEdit");
    auto* clear = dialog.findChild<QPushButton*>("clearButton");
    QVERIFY(edit && clear);
    QCOMPARE(clear->text(), QString::fromUtf8("清除"));

    // The dialog's handler is the installed one: a second cannot install meanwhile.
    CustomMsgHandler other(m_dir.path() + "/log");
    QVERIFY(!other.install());

    qCritical("[E][%s] broken", "Test");
    qDebug("[I][%s] fine", "Test");
    QTRY_VERIFY(edit->toPlainText().contains("[I][Test] fine"));
    QVERIFY(edit->toPlainText().contains("[E][Test] broken"));
    QVERIFY(edit->toHtml().contains("#ff0000"));
    QVERIFY(edit->toHtml().contains("#008000"));

    clear->click();
    QVERIFY(edit->toPlainText().isEmpty());
}

// A peer's words are shown as they are, never as markup, and a flood of lines leaves
// the newest LogDialog::MaxLines.
void TestLogDialog::keepsTheLastLinesAsText()
{
    LogDialog dialog(m_dir.path() + "/log");
    auto* edit = dialog.findChild<QTextEdit*>("logTextEdit");
    QVERIFY(edit);
    const int lines = LogDialog::MaxLines + 1000;
    for (int i = 0; i < lines; ++i)
        dialog.appendMsg(QString("[%1][X] <b>line %2</b> <img src=x>").arg(i % 2 ? "W" : "Q").arg(i));
    QCOMPARE(LogDialog::MaxLines, 5000);
    QCOMPARE(edit->document()->blockCount(), LogDialog::MaxLines);
    QCOMPARE(edit->document()->firstBlock().text(), QString("[Q][X] <b>line 1000</b> <img src=x>"));
    QCOMPARE(edit->document()->lastBlock().text(), QString("[W][X] <b>line 5999</b> <img src=x>"));
    QVERIFY(!edit->toHtml().contains("<b>"));
    QVERIFY(edit->toHtml().contains("#ffa500")); // orange: the level still colours the line
}

QTEST_MAIN(TestLogDialog)
#include "tst_logdialog.moc"
