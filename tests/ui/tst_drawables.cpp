#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QtTest>

// Every image the window names must be in the resources as a real PNG with a 2x
// companion, and draw something at both scales.
class TestDrawables : public QObject {
    Q_OBJECT
private slots:
    void rendersAtBothScales_data();
    void rendersAtBothScales();
    void styleSheetShips();
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

void TestDrawables::rendersAtBothScales_data()
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

void TestDrawables::rendersAtBothScales()
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

void TestDrawables::styleSheetShips()
{
    QFile qss(QStringLiteral(":/style/quorvel.qss"));
    QVERIFY(qss.open(QIODevice::ReadOnly | QIODevice::Text));
    const QByteArray text = qss.readAll();
    for (const char* selector : {"QMainWindow", "QDialog", "QComboBox", "QTabBar::tab", "QMenu", "QProgressBar"})
        QVERIFY2(text.contains(selector), selector);
    QCOMPARE(text.count('{'), text.count('}'));
}

QTEST_MAIN(TestDrawables)
#include "tst_drawables.moc"
