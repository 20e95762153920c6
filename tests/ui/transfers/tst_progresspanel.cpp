#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "DeviceProcess.h"
#include "OpenedUrls.h"
#include "TabStops.h"
#include "TestFiles.h"
#include "app/AppContext.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/tasks/Timing.h"
#include "ui/common/StyleSheet.h"
#include "ui/transfers/ProgressDockWidget.h"
#include "ui/transfers/ProgressWidget.h"
#include "ui/transfers/QProgressPie.h"

namespace {
ProgressContent report(int id, int type, int progress, const QString& name = "a.txt")
{
    ProgressContent c;
    c.id = id;
    c.type = type;
    c.progress = progress;
    c.nativePath = "/home/u/" + name;
    c.remotePath = "/QuorVEL/" + name;
    return c;
}

// Right-clicks the row and picks the menu entry; the entries that were offered.
QStringList choose(QWidget* row, const QString& entry = QString())
{
    QTest::mouseClick(row, Qt::RightButton);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu)
        return {"no menu"};
    QStringList texts;
    for (QAction* a : menu->actions()) {
        texts.append(a->text());
        if (a->text() == entry)
            QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    }
    if (menu->isVisible())
        menu->close();
    return texts;
}

// Pixels of the window's text colour (dark, unsaturated) in the middle of the picture:
// the percentage, as a person sees it.
int darkPixels(const QImage& image)
{
    int dark = 0;
    const QRect middle(image.width() / 4, image.height() / 4, image.width() / 2, image.height() / 2);
    for (int y = middle.top(); y <= middle.bottom(); ++y)
        for (int x = middle.left(); x <= middle.right(); ++x)
            if (qGray(image.pixel(x, y)) < 110 && qAlpha(image.pixel(x, y)) > 128)
                ++dark;
    return dark;
}
} // namespace

class TestProgressPanel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_context = std::make_unique<AppContext>(m_dir.path());
        Timing t;
        t.downloadReplyWaitMs = 1000;
        t.statusPollIntervalMs = 50;
        Timing::setForTests(t);
        // As the window has it: the application's style sheet reaches the rows.
        StyleSheet::apply(qApp);
    }
    void rows_data();
    void rows();
    void indicatorShowsPercentAndStops();
    void rowsFitTheirWidthAndAreNamed();
    void clearAndCloseRecreate();
    void againstDevice();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    OpenedUrls m_opened;
};

void TestProgressPanel::rows_data()
{
    QTest::addColumn<QList<ProgressContent>>("reports");
    QTest::addColumn<QString>("text"); // of the row, whole
    QTest::addColumn<bool>("closable");
    QTest::addColumn<QStringList>("menu");
    QTest::addColumn<QString>("tip");
    const QStringList normal{"在本地打开", "打开所在目录", "在Quorvel上删除", "在Quorvel上打开"};
    ProgressContent failed = report(1, ProgressContent::Download, -1);
    failed.text = "no answer";
    ProgressContent moving = report(1, ProgressContent::SecureUpload, 25);
    moving.bytes = 1 << 20;
    moving.totalBytes = 4 << 20;
    moving.speed = 1 << 20;
    QTest::newRow("done first") << QList<ProgressContent>{report(1, 0, 101)} << "上传文件:\"a.txt\"成功." << true
                                << normal << "";
    QTest::newRow("failed first") << QList<ProgressContent>{failed} << "下载文件:\"a.txt\"失败. 原因: no answer" << true
                                  << QStringList{"重新下载/上传"} << "no answer";
    QTest::newRow("running, speed") << QList<ProgressContent>{moving} << "机密上传:\"a.txt\"." << false << normal
                                    << "已传输 1.0 MB / 4.0 MB\n速度 1.0 MB/s\n剩余时间 0:03";
    QTest::newRow("out of range ignored") << QList<ProgressContent>{report(1, 0, 30), report(1, 0, 150)}
                                          << "上传文件:\"a.txt\"." << false << normal << "已传输 0 B\n速度计算中";
}

void TestProgressPanel::rows()
{
    QFETCH(QList<ProgressContent>, reports);
    QFETCH(QString, text);
    QFETCH(bool, closable);
    QFETCH(QStringList, menu);
    QFETCH(QString, tip);
    ProgressDockWidget panel(nullptr);
    for (const ProgressContent& r : reports)
        panel.uploadProgressUpdated(r);
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTRY_VERIFY(panel.row(1));
    QCOMPARE(panel.rowCount(), 1);
    ProgressWidget* row = panel.row(1);
    QCOMPARE(row->accessibleName(), text);
    QCOMPARE(row->findChild<QLabel*>("label")->text().remove('\n').remove(' '), QString(text).remove(' '));
    QCOMPARE(row->findChild<QPushButton*>("btnClose")->isVisible(), closable);
    QCOMPARE(row->toolTip(), tip);
    QCOMPARE(choose(row), menu);
    const int last = reports.last().progress;
    QCOMPARE(row->findChild<QProgressPie*>("progressBar")->value(),
        last == 101       ? 100
            : last == 150 ? 30
                          : qMax(last, 0));
    QCOMPARE(unnamedTabStops(&panel), QStringList());
}

void TestProgressPanel::indicatorShowsPercentAndStops()
{
    // Frames of the indicator as the panel shows it, the application's style sheet on.
    ProgressDockWidget panel(nullptr);
    panel.resize(300, 300);
    panel.uploadProgressUpdated(report(1, 0, 30));
    panel.uploadProgressUpdated(report(2, 0, 70));
    panel.uploadProgressUpdated(report(3, 0, 99));
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTRY_VERIFY(panel.row(3));
    const auto pie = [&](int id) { return panel.row(id)->findChild<QProgressPie*>("progressBar"); };
    // Each running ring shows its percentage in the text's colour.
    for (int id : {1, 2, 3}) {
        QVERIFY2(darkPixels(pie(id)->grab().toImage()) > 8, qPrintable(QString::number(id)));
        QVERIFY(pie(id)->isSpinning());
    }
    // Running: the ring turns between frames.
    const QImage before = pie(1)->grab().toImage();
    QTRY_VERIFY(pie(1)->grab().toImage() != before);

    // Done: it stops and shows 100%.
    panel.uploadProgressUpdated(report(3, 0, 101));
    QTRY_COMPARE(pie(3)->value(), 100);
    QVERIFY(!pie(3)->isSpinning());
    QVERIFY(darkPixels(pie(3)->grab().toImage()) > 8);

    // Failed: the last percentage stays, on a red ring.
    ProgressContent failed = report(2, 0, -1);
    failed.text = "gone";
    panel.uploadProgressUpdated(failed);
    QTRY_VERIFY(pie(2)->isFailed());
    const QImage red = pie(2)->grab().toImage();
    int reddish = 0;
    for (int y = 0; y < red.height(); ++y)
        for (int x = 0; x < red.width(); ++x)
            reddish += qRed(red.pixel(x, y)) - qGreen(red.pixel(x, y)) > 60;
    QVERIFY2(reddish > 20, qPrintable(QString::number(reddish)));
    QVERIFY(darkPixels(red) > 8);
}

void TestProgressPanel::rowsFitTheirWidthAndAreNamed()
{
    // The panel as wide as in the window, with twenty rows: long names, a long reason.
    ProgressDockWidget panel(nullptr);
    panel.resize(300, 420);
    const QString longName = QString("quarterly report version final ").repeated(7).left(200) + ".bin";
    ProgressContent failed = report(100, 1, -1, "会议纪要成功版本.docx");
    failed.text = "the device Room A (198.51.100.2) did not answer within 5 s, four times in a row; "
                  "check that it is switched on and on the same network as this computer";
    panel.uploadProgressUpdated(failed);
    panel.uploadProgressUpdated(report(101, 0, 101, longName));
    for (int i = 0; i < 18; ++i)
        panel.uploadProgressUpdated(report(102 + i, i % 2, 5 * i, QString("file-%1.bin").arg(i)));
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTRY_COMPARE(panel.rowCount(), 20);
    QCoreApplication::processEvents();
    auto* list = panel.findChild<QListWidget*>("layoutWidget");
    QVERIFY(list->verticalScrollBar()->isVisible());
    QVERIFY(!list->horizontalScrollBar()->isVisible());
    QCOMPARE(list->horizontalScrollBar()->maximum(), 0);
    for (int id : {100, 101}) {
        ProgressWidget* row = panel.row(id);
        list->scrollToItem(list->item(id == 100 ? 19 : 18));
        QCoreApplication::processEvents();
        // The close button whole inside the list, every line inside the label and shown.
        auto* close = row->findChild<QPushButton*>("btnClose");
        const QRect inList(close->mapTo(list->viewport(), QPoint()), close->size());
        QVERIFY2(list->viewport()->rect().contains(inList), qPrintable(QString::number(id)));
        auto* label = row->findChild<QLabel*>("label");
        const QStringList lines = label->text().split('\n');
        for (const QString& line : lines)
            QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->width(), qPrintable(line));
        QVERIFY2(label->height() >= lines.size() * label->fontMetrics().lineSpacing(),
            qPrintable(QString("%1 lines in %2 px").arg(lines.size()).arg(label->height())));
        // Words stay whole where the line has room for them.
        for (const QString& word : {QString("version"), QString("report"), QString("answer")})
            QVERIFY(!label->text().contains(word.left(3) + '\n' + word.mid(3)));
    }
    QVERIFY(panel.row(100)->findChild<QLabel*>("label")->text().replace('\n', ' ').contains(
        "same network as this computer"));
    // Scrolled to the middle: each row in view stands on its item, and rows out of view
    // are not shown (nor placed, which a thousand rows made slow).
    list->scrollToItem(list->item(10), QAbstractItemView::PositionAtCenter);
    QCoreApplication::processEvents();
    int inView = 0;
    for (int i = 0; i < list->count(); ++i) {
        QWidget* row = list->itemWidget(list->item(i));
        const QRect item = list->visualItemRect(list->item(i));
        const bool seen = item.intersects(list->viewport()->rect());
        QCOMPARE(row->isVisible(), seen);
        if (seen)
            QCOMPARE(row->geometry(), item);
        inView += seen;
    }
    QVERIFY(inView > 0 && inView < list->count());

    // Each row is a list item with a name and its state for screen readers.
    QAccessibleInterface* access = QAccessible::queryAccessibleInterface(list);
    QVERIFY(access);
    QStringList names, descriptions;
    for (int i = 0; i < access->childCount(); ++i) {
        QAccessibleInterface* item = access->child(i);
        if (item->role() != QAccessible::ListItem)
            continue;
        names << item->text(QAccessible::Name);
        descriptions << item->text(QAccessible::Description);
    }
    QCOMPARE(names.size(), 20);
    QCOMPARE(names.filter(QRegularExpression("^$")), QStringList());
    QCOMPARE(names.last(), QString("下载文件:\"会议纪要成功版本.docx\"失败. 原因: ") + failed.text);
    QVERIFY2(descriptions.last().contains("失败") && descriptions.last().contains(failed.text),
        qPrintable(descriptions.last()));
    QVERIFY2(descriptions.at(18).contains("已完成 100%"), qPrintable(descriptions.at(18)));
    QVERIFY2(descriptions.first().contains("正在传输 85%"), qPrintable(descriptions.first()));
    // The close buttons are named after their file and are not tab stops of their own.
    auto* close = panel.row(101)->findChild<QPushButton*>("btnClose");
    QVERIFY(close->accessibleName().startsWith("关闭 "));
    QVERIFY(!(close->focusPolicy() & Qt::TabFocus));
}

void TestProgressPanel::clearAndCloseRecreate()
{
    ProgressDockWidget panel(nullptr);
    const int a = ProgressDockWidget::nextProgressId();
    const int b = ProgressDockWidget::nextProgressId();
    panel.uploadProgressUpdated(report(a, 0, 10));
    panel.uploadProgressUpdated(report(b, 0, 101));
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QTRY_COMPARE(panel.rowCount(), 2);
    // Reports that came before the click go with the rows.
    panel.uploadProgressUpdated(report(a, 0, 15));
    QTest::mouseClick(panel.findChild<QPushButton*>("btnClear"), Qt::LeftButton);
    QCOMPARE(panel.rowCount(), 0);
    panel.uploadProgressUpdated(report(b, 0, 101));
    panel.uploadProgressUpdated(report(a, 0, 20));
    QTRY_COMPARE(panel.rowCount(), 2);
    auto* list = panel.findChild<QListWidget*>("layoutWidget");
    QCOMPARE(list->itemWidget(list->item(0)), panel.row(a));
    QCOMPARE(panel.row(a)->findChild<QProgressPie*>()->value(), 20);
    // Closed, then reported again: a new row.
    QTest::mouseClick(panel.row(b)->findChild<QPushButton*>("btnClose"), Qt::LeftButton);
    QCOMPARE(panel.rowCount(), 1);
    QVERIFY(!panel.row(b));
    panel.uploadProgressUpdated(report(b, 0, 101));
    QTRY_COMPARE(panel.rowCount(), 2);
    QVERIFY(panel.row(b));
}

void TestProgressPanel::againstDevice()
{
    QUORVEL_DEVICE(device, {"--address", "127.0.0.61", "--no-mdns"});
    const ServerContent server = DeviceProcess::serverAt("127.0.0.61");
    ProgressDockWidget panel(nullptr);
    panel.follow(m_context->transfers());
    panel.setDeviceActions(m_context->actions());
    // A second panel, made last, with no queue: each row retries through its own panel.
    ProgressDockWidget other(nullptr);
    const QString local = m_dir.path() + "/later.txt";
    const int failedId = m_context->transfers()->download("/later.txt", local, server);
    QTRY_VERIFY_WITH_TIMEOUT(
        panel.row(failedId) && panel.row(failedId)->accessibleName().contains("失败. 原因: "), 10000);
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QVERIFY2(panel.row(failedId)->toolTip().size() > 3, qPrintable(panel.row(failedId)->toolTip()));

    // The file appears on the device; the retry fetches it under a new number.
    QVERIFY(TestFiles::write(device.folder() + "/later.txt", "now here"));
    choose(panel.row(failedId), "重新下载/上传");
    QTRY_COMPARE_WITH_TIMEOUT(panel.rowCount(), 2, 5000);
    auto* list = panel.findChild<QListWidget*>("layoutWidget");
    auto* retried = qobject_cast<ProgressWidget*>(list->itemWidget(list->item(0)));
    QVERIFY(retried->id() > failedId);
    QTRY_COMPARE_WITH_TIMEOUT(retried->accessibleName(), QString("下载文件:\"later.txt\"成功."), 10000);
    QVERIFY(panel.row(failedId)->accessibleName().contains("失败"));

    m_opened.urls.clear();
    choose(retried, "打开所在目录");
    QTest::mouseDClick(retried, Qt::LeftButton);
    QCOMPARE(m_opened.urls, (QList<QUrl>{QUrl::fromLocalFile(m_dir.path()), QUrl::fromLocalFile(local)}));
    // With no program here to open it, the row says so over the window.
    QDesktopServices::unsetUrlHandler("file");
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", m_dir.path().toUtf8());
    QTest::mouseDClick(retried, Qt::LeftButton);
    qputenv("PATH", path);
    QDesktopServices::setUrlHandler("file", &m_opened, "open");
    QMessageBox* box = nullptr;
    QTRY_VERIFY((box = retried->window()->findChild<QMessageBox*>()) && box->isVisible());
    QCOMPARE(box->text(), QString("无法在本地打开文件。"));
    QVERIFY2(box->informativeText().endsWith(local), qPrintable(box->informativeText()));
    box->close();

    // An upload row opens and deletes on the device.
    const int up = m_context->transfers()->upload({local}, server, false).first();
    QTRY_VERIFY_WITH_TIMEOUT(panel.row(up) && panel.row(up)->accessibleName().endsWith("成功."), 10000);
    QTest::mouseDClick(panel.row(up), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(device.requests("file_open").size(), 1, 5000);
    choose(panel.row(up), "在Quorvel上删除");
    QTRY_COMPARE_WITH_TIMEOUT(device.requests("file_delete").size(), 1, 5000);
    QCOMPARE(device.requests("file_delete").first().value("file_path").toString(), QString("/QuorVEL/上传/later.txt"));
}

QTEST_MAIN(TestProgressPanel)
#include "tst_progresspanel.moc"
