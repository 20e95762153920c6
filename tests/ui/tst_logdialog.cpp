#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include "log/CustomMsgHandler.h"
#include "ui/LogDialog.h"

class TestLogDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QDir::setCurrent(m_dir.path()); }
    void colouring_data();
    void colouring();
    void showsEveryLineUntilCleared();

private:
    QTemporaryDir m_dir;
};

void TestLogDialog::colouring_data()
{
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QString>("line");
    const char* const rows[][2] = {{"[E][X] a", "<font color=red>[E][X] a</font>"},
        {"[W][X] a", "<font color=orange>[W][X] a</font>"}, {"[I][X] a", "<font color=green>[I][X] a</font>"},
        {"[D][X] a", "<font color=blue>[D][X] a</font>"}, {"[Q][X] a", "[Q][X] a"}, {"E", "E"}, {"", ""},
        {"[E]<b>", "<font color=red>[E]<b></font>"}}; // other letters, short, empty, not escaped
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
    LogDialog dialog;
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8("QuorvelClient调试窗口"));
    QCOMPARE(dialog.size(), QSize(618, 362));
    auto* edit = dialog.findChild<QTextEdit*>("logTextEdit");
    auto* clear = dialog.findChild<QPushButton*>("clearButton");
    QVERIFY(edit && clear);
    QCOMPARE(clear->text(), QString::fromUtf8("清除"));

    // The dialog's handler is the installed one: a second cannot install meanwhile.
    CustomMsgHandler other;
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

QTEST_MAIN(TestLogDialog)
#include "tst_logdialog.moc"
