#include <QDirIterator>
#include <QImage>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QtTest>

#include "ui/common/StyleSheet.h"
#include "ui/dialogs/LogDialog.h"

// The window's pieces that need no device: the images it names, its style sheet, and the
// log window.
class TestWindowParts : public QObject {
    Q_OBJECT
private slots:
    void namedImagesRenderAtBothScales();
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

// Every image the sources name (code, forms, style sheet) is in the resources as a PNG
// that draws something, with a companion twice its size for high-DPI screens; the style
// sheet ships whole.
void TestWindowParts::namedImagesRenderAtBothScales()
{
    const QString style = StyleSheet::load();
    QVERIFY(!style.isEmpty() && style.count('{') == style.count('}'));
    const QRegularExpression named(QStringLiteral(":/?((?:drawable/)?\\w+)\\.png"));
    QStringList names;
    QDirIterator sources(
        QUORVEL_SOURCE_DIR "/src", {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files, QDirIterator::Subdirectories);
    while (sources.hasNext()) {
        QFile file(sources.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        for (auto found = named.globalMatch(QString::fromUtf8(file.readAll())); found.hasNext();)
            names << ":/" + found.next().captured(1);
    }
    names.removeDuplicates();
    QVERIFY2(names.size() > 30, qPrintable(names.join(' ')));
    for (const QString& name : qAsConst(names)) {
        const QImage base(name + ".png", "PNG");
        const QImage doubled(name + "@2x.png", "PNG");
        QVERIFY2(hasVisiblePixel(base) && hasVisiblePixel(doubled), qPrintable(name));
        QCOMPARE(doubled.size(), base.size() * 2);
    }
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
