#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#include "ui/dialogs/LogDialog.h"

// The window's pieces that need no device: every image it names, in the resources as a
// real PNG with a 2x companion that draws something at both scales; its style sheet; and
// the log window.
class TestWindowParts : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QDir::setCurrent(m_dir.path()); }
    void rendersAtBothScales_data();
    void rendersAtBothScales();
    void styleSheetShips();
    void colouring_data();
    void colouring();
    void logWindow();

private:
    QTemporaryDir m_dir;
};

static bool hasVisiblePixel(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) > 0)
                return true;
        }
    }
    return false;
}

void TestWindowParts::rendersAtBothScales_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QSize>("size");
    const struct {
        const char* path;
        int w, h;
    } rows[] = {{":/drawable/logo256.png", 256, 256}, {":/drawable/logo128.png", 128, 128},
        {":/drawable/logo48.png", 48, 48}, {":/drawable/ic_launcher.png", 256, 256},
        {":/drawable/tray_icon.png", 32, 32}, {":/tray_icon.png", 32, 32}, {":/drawable/refresh.png", 24, 24},
        {":/drawable/back_to_father_dir.png", 24, 24}, {":/drawable/close.png", 16, 16},
        {":/drawable/cast_pause.png", 42, 42}, {":/drawable/cast_resume.png", 42, 42},
        {":/drawable/cast_changeAspectRatio.png", 42, 42}};
    for (const auto& row : rows)
        QTest::newRow(row.path) << QString(row.path) << QSize(row.w, row.h);
    for (const char* icon : {"dir", "file_music", "file_video", "file_pic", "file_text", "file_pdf", "file_ppt",
             "file_doc", "file_xls", "file_unknow"})
        QTest::addRow(":drawable/icon_%s.png", icon) << QString(":drawable/icon_%1.png").arg(icon) << QSize(48, 48);
    for (const char* cast :
        {"cast", "cast_hover", "cast_pressed", "cast_disable", "casting", "casting_hover", "casting_pressed"})
        QTest::addRow(":/drawable/%s.png", cast) << QString(":/drawable/%1.png").arg(cast) << QSize(56, 68);
}

void TestWindowParts::rendersAtBothScales()
{
    QFETCH(QString, path);
    QFETCH(QSize, size);
    QVERIFY2(QFile::exists(path), qPrintable(path));

    // The files themselves: a PNG at the size the widgets use and one at twice that.
    const QImage base(path, "PNG");
    QCOMPARE(base.size(), size);
    QVERIFY(hasVisiblePixel(base));
    const QString path2x = path.left(path.size() - 4) + QStringLiteral("@2x.png");
    const QImage doubled(path2x, "PNG");
    QCOMPARE(doubled.size(), size * 2);
    QVERIFY(hasVisiblePixel(doubled));

    // The way the window loads them.
    const QPixmap pixmap = QIcon(path).pixmap(size);
    QCOMPARE(pixmap.size(), size);
    QVERIFY(hasVisiblePixel(pixmap.toImage()));
}

void TestWindowParts::styleSheetShips()
{
    QFile qss(QStringLiteral(":/style/quorvel.qss"));
    QVERIFY(qss.open(QIODevice::ReadOnly | QIODevice::Text));
    const QByteArray text = qss.readAll();
    QVERIFY(!text.isEmpty() && text.count('{') == text.count('}'));
}

void TestWindowParts::colouring_data()
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

void TestWindowParts::colouring()
{
    QFETCH(QString, msg);
    QFETCH(QString, line);
    QCOMPARE(LogDialog::colouredLine(msg), line);
}

// Every line logged while it lives, coloured by its level; a peer's words as they are,
// never as markup; of a flood, the newest LogDialog::MaxLines; nothing once cleared.
void TestWindowParts::logWindow()
{
    LogDialog dialog(m_dir.path() + "/log");
    auto* edit = dialog.findChild<QTextEdit*>("logTextEdit");
    auto* clear = dialog.findChild<QPushButton*>("clearButton");
    QVERIFY(edit && clear);
    qCritical("[E][%s] broken", "Test");
    qDebug("[I][%s] fine", "Test");
    QTRY_VERIFY(edit->toPlainText().contains("[I][Test] fine"));
    QVERIFY(edit->toPlainText().contains("[E][Test] broken"));
    QVERIFY(edit->toHtml().contains("#ff0000"));
    QVERIFY(edit->toHtml().contains("#008000"));

    const int lines = LogDialog::MaxLines + 1000;
    for (int i = 0; i < lines; ++i)
        dialog.appendMsg(QString("[%1][X] <b>line %2</b> <img src=x>").arg(i % 2 ? "W" : "Q").arg(i));
    QCOMPARE(edit->document()->blockCount(), LogDialog::MaxLines);
    QCOMPARE(edit->document()->firstBlock().text(), QString("[Q][X] <b>line 1000</b> <img src=x>"));
    QCOMPARE(edit->document()->lastBlock().text(), QString("[W][X] <b>line 5999</b> <img src=x>"));
    QVERIFY(!edit->toHtml().contains("<b>"));
    QVERIFY(edit->toHtml().contains("#ffa500")); // orange: the level still colours the line
    clear->click();
    QVERIFY(edit->toPlainText().isEmpty());
}

QTEST_MAIN(TestWindowParts)
#include "tst_windowparts.moc"
