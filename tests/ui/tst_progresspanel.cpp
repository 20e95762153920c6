#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

#include "AppContext.h"
#include "DeviceProcess.h"
#include "OpenedUrls.h"
#include "ProgressDockWidget.h"
#include "ProgressWidget.h"
#include "QProgressPie.h"
#include "Timing.h"
#include "TransferQueue.h"

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
    }
    void rows_data();
    void rows();
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
    QTest::addColumn<QStringList>("lines"); // of the row's label
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
    QTest::newRow("done first") << QList<ProgressContent>{report(1, 0, 101)} << QStringList{"上传文件:\"a.txt\"成功."}
                                << true << normal << "";
    QTest::newRow("failed first") << QList<ProgressContent>{failed}
                                  << QStringList{"下载文件:\"a.txt\"失败. 原因: no ", "answer"} << true
                                  << QStringList{"重新下载/上传"} << "no answer";
    QTest::newRow("running, speed") << QList<ProgressContent>{moving} << QStringList{"机密上传:\"a.txt\"."} << false
                                    << normal << "已传输 1.0 MB / 4.0 MB\n速度 1.0 MB/s\n剩余时间 0:03";
    QTest::newRow("out of range ignored")
        << QList<ProgressContent>{report(1, 0, 30), report(1, 0, 150)} << QStringList{"上传文件:\"a.txt\"."} << false
        << normal << "已传输 0 B\n速度计算中";
    // 30 and 60 characters: breaks at 23, then at 46 of the text holding the first.
    QTest::newRow("30 characters") << QList<ProgressContent>{report(1, 0, 5, QString(22, 'x'))}
                                   << QStringList{"上传文件:\"" + QString(17, 'x'), QString(5, 'x') + "\"."} << false
                                   << normal << "已传输 0 B\n速度计算中";
    QTest::newRow("60 characters") << QList<ProgressContent>{report(1, 0, 5,
        QString(52, 'x'))} << QStringList{"上传文件:\"" + QString(17, 'x'), QString(22, 'x'), QString(13, 'x') + "\"."}
                                   << false << normal << "已传输 0 B\n速度计算中";
}

void TestProgressPanel::rows()
{
    QFETCH(QList<ProgressContent>, reports);
    QFETCH(QStringList, lines);
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
    QCOMPARE(row->findChild<QLabel*>("label")->text().split('\n'), lines);
    QCOMPARE(row->findChild<QPushButton*>("btnClose")->isVisible(), closable);
    QCOMPARE(row->toolTip(), tip);
    QCOMPARE(choose(row), menu);
    const int last = reports.last().progress;
    QCOMPARE(row->findChild<QProgressPie*>("progressBar")->value(),
        last == 101       ? 100
            : last == 150 ? 30
                          : qMax(last, 0));
    for (QWidget* w : panel.findChildren<QWidget*>())
        QVERIFY2(!(w->focusPolicy() & Qt::TabFocus) || !w->accessibleName().isEmpty(), qPrintable(w->objectName()));
}

void TestProgressPanel::clearAndCloseRecreate()
{
    ProgressDockWidget panel(nullptr);
    const int a = ProgressDockWidget::nextProgressId();
    const int b = ProgressDockWidget::nextProgressId();
    QCOMPARE(b, a + 1);
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
    DeviceProcess device({"--address", "127.0.0.61", "--no-mdns"});
    QVERIFY(device.isReady());
    const ServerContent server = DeviceProcess::serverAt("127.0.0.61");
    ProgressDockWidget panel(nullptr);
    panel.follow(m_context->transfers());
    const QString local = m_dir.path() + "/later.txt";
    const int failedId = m_context->transfers()->download("/later.txt", local, server);
    QTRY_VERIFY_WITH_TIMEOUT(
        panel.row(failedId) && panel.row(failedId)->accessibleName().contains("失败. 原因: "), 10000);
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QVERIFY2(panel.row(failedId)->toolTip().size() > 3, qPrintable(panel.row(failedId)->toolTip()));

    // The file appears on the device; the retry fetches it under a new number.
    QFile file(device.folder() + "/later.txt");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("now here") == 8);
    file.close();
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
