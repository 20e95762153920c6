#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QPushButton>
#include <QThreadPool>
#include <QtTest>

#include "DeviceProcess.h"
#include "OpenedUrls.h"
#include "ScopedTiming.h"
#include "TabStops.h"
#include "UdpProbe.h"
#include "Watchdog.h"
#include "app/AppContext.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "ui/history/NativeFileThumb.h"
#include "ui/history/RecentFilesDialog.h"
#include "ui/history/RecentFilesListView.h"

namespace {
RecentFilesContent record(const QString& uuid, const QString& type, const QString& path, qint64 time, qint64 mtime = 0)
{
    RecentFilesContent r;
    r.uuid = uuid;
    r.type = type;
    r.nativePath = path;
    r.remotePath = "/QuorVEL/" + QFileInfo(path).fileName();
    r.operateTime = time;
    r.dateModified = mtime;
    return r;
}

QStringList column(const QAbstractItemModel* m, int c)
{
    QStringList out;
    for (int row = 0; row < m->rowCount(); ++row)
        out.append(m->index(row, c).data().toString());
    return out;
}

// Returns once the dialog's pool has nothing to run and what it posted is handled: a
// reading asked next starts one of its own.
void drain(RecentFilesDialog& dialog)
{
    QVERIFY(dialog.findChild<QThreadPool*>()->waitForDone(5000));
    QCoreApplication::processEvents();
}

// Shows the device's history and waits until it is read.
void show(RecentFilesDialog& dialog, const ServerContent& server)
{
    QSignalSpy read(&dialog, &RecentFilesDialog::listUpdated);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.setServerContent(server);
    QVERIFY(read.wait(5000));
    drain(dialog);
}

QMenu* rightClick(RecentFilesListView* view, int row)
{
    const QRect r = view->visualRect(view->model()->index(row, 0));
    QTest::mouseClick(view->viewport(), Qt::RightButton, {}, r.center());
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QColor thumbColour(const QAbstractItemModel* m, int row)
{
    return m->index(row, 0).data(Qt::DecorationRole).value<QPixmap>().toImage().pixelColor(24, 24);
}
} // namespace

class TestRecentFiles : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_context = std::make_unique<AppContext>(m_dir.path());
    }
    void historyPerDevice();
    void thumbnails();
    void oneThumbnailRequestAtATime();
    void menuAndDeleteKey();
    void closedWhileACommandWaits();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    OpenedUrls m_opened;
};

void TestRecentFiles::historyPerDevice()
{
    QuorvelClientDatabase* db = m_context->database();
    for (const RecentFilesContent& r :
        {record("A", "file_upload", "/x/a.txt", 1000), record("A", "secure", "/x/b.doc", 3000),
            record("A", "file_download", "/x/c.pdf", 2000), record("B", "file_upload", "/x/d.txt", 5000)})
        QVERIFY(db->addRecentFileRecord(r));
    RecentFilesDialog dialog(m_context->database(), *m_context->actions(), FileTypes());
    QAbstractItemModelTester tester(dialog.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    ServerContent a;
    a.uuid = "A";
    show(dialog, a);
    QCOMPARE(column(dialog.model(), 0), (QStringList{"b.doc", "c.pdf", "a.txt"}));
    QCOMPARE(column(dialog.model(), 1), (QStringList{"机密上传", "下载", "上传"}));
    QCOMPARE(dialog.model()->headerData(1, Qt::Horizontal).toString(), QString("上传/下载"));
    // Every ended transfer asks for a reading: a burst of asks reads the history twice
    // (the one running, one after it), not once per ask.
    QSignalSpy burst(&dialog, &RecentFilesDialog::listUpdated);
    for (int i = 0; i < 50; ++i)
        dialog.updateList();
    QTRY_COMPARE(burst.size(), 2);
    // A width the user chose stays through readings; a longer new name widens it.
    auto* view = dialog.findChild<QTreeView*>();
    view->setColumnWidth(0, view->columnWidth(0) + 150);
    const int chosen = view->columnWidth(0);
    QVERIFY(db->addRecentFileRecord(record("A", "file_upload", "/x/e.txt", 6000)));
    dialog.updateList();
    QVERIFY(burst.wait(5000));
    QCOMPARE(burst.size(), 3);
    QCOMPARE(view->columnWidth(0), chosen);
    QVERIFY(db->addRecentFileRecord(record("A", "file_upload", "/x/" + QString(60, 'w') + ".txt", 7000)));
    dialog.updateList();
    QVERIFY(burst.wait(5000));
    QVERIFY(view->columnWidth(0) > chosen);
    QCOMPARE(view->columnWidth(0), view->sizeHintForIndex(dialog.model()->index(0, 0)).width());

    // Hidden (another tab in front), the history drops the rows of a device no longer
    // shown at once and reads nothing; shown, it reads once, with what came meanwhile.
    ServerContent empty;
    empty.uuid = "C";
    dialog.hide();
    burst.clear();
    dialog.setServerContent(empty);
    QCOMPARE(dialog.model()->rowCount(), 0);
    dialog.updateList();
    drain(dialog);
    QCOMPARE(burst.size(), 0);
    dialog.setServerContent(a);
    QVERIFY(db->addRecentFileRecord(record("A", "file_upload", "/x/f.txt", 8000)));
    dialog.show();
    QVERIFY(burst.wait(5000));
    QCOMPARE(column(dialog.model(), 0).value(0), QString("f.txt"));

    // A device without history, chosen while A's reading is still running: A's rows are
    // never shown under it. Clearing it touches no other device's.
    QSignalSpy read(&dialog, &RecentFilesDialog::listUpdated);
    dialog.updateList();
    dialog.setServerContent(empty);
    QVERIFY(read.count() || read.wait(5000));
    QCOMPARE(read.takeFirst().first().toInt(), 0);
    QCOMPARE(dialog.model()->rowCount(), 0);
    QTest::mouseClick(dialog.findChild<QPushButton*>("clearButton"), Qt::LeftButton);
    QVERIFY(read.wait(5000));
    QCOMPARE(dialog.model()->rowCount(), 0);
    QCOMPARE(db->getRecentFiles("A").size(), 6);
    QCOMPARE(unnamedTabStops(&dialog), QStringList());
}

void TestRecentFiles::thumbnails()
{
    // A red picture here, and one gone from disk whose time differs from a cached blue
    // one's by 2^32 ms: the cache key keeps 32 bits, so it shares the blue thumbnail.
    QImage red(300, 200, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QString here = m_dir.path() + "/red.png";
    QVERIFY(red.save(here));
    const qint64 mtime = QFileInfo(here).lastModified().toMSecsSinceEpoch();
    QImage blue(144, 144, QImage::Format_RGB32);
    blue.fill(Qt::blue);
    QByteArray bluePng;
    QBuffer buffer(&bluePng);
    QVERIFY(buffer.open(QIODevice::WriteOnly) && blue.save(&buffer, "PNG"));
    const qint64 cached = -5; // low bits 0xfffffffb
    QuorvelClientDatabase* db = m_context->database();
    QVERIFY(db->setThumb("T", "/gone/blue.png", cached, bluePng));
    QVERIFY(db->addRecentFileRecord(record("T", "file_upload", here, 2, mtime)));
    QVERIFY(db->addRecentFileRecord(record("T", "file_upload", "/gone/blue.png", 1, cached + (qint64(1) << 32))));
    QVERIFY(db->addRecentFileRecord(record("T", "file_upload", "/gone/lost.png", 0)));

    RecentFilesDialog dialog(m_context->database(), *m_context->actions(), FileTypes());
    QAbstractItemModelTester tester(dialog.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    ServerContent t;
    t.uuid = "T";
    show(dialog, t);
    QTRY_COMPARE_WITH_TIMEOUT(thumbColour(dialog.model(), 0), QColor(Qt::red), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(thumbColour(dialog.model(), 1), QColor(Qt::blue), 5000);
    QCOMPARE(QImage::fromData(db->getThumb("T", here, NativeFileThumb::keyTime(mtime))).size(), QSize(144, 144));
    QVERIFY(db->getThumb("T", "/gone/lost.png", 0).isEmpty());
    QVERIFY(thumbColour(dialog.model(), 2) != QColor(Qt::red));
}

void TestRecentFiles::oneThumbnailRequestAtATime()
{
    RecentFilesModel model{FileTypes()};
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setRecords({record("U", "file_upload", "/p/a.jpg", 0), record("U", "file_upload", "/p/b.txt", 0)});
    QSignalSpy asked(&model, &RecentFilesModel::startGetThumb);
    const QModelIndex image = model.index(0, 0);
    for (int paint = 0; paint < 3; ++paint) {
        model.data(image, Qt::DecorationRole);
        model.data(model.index(1, 0), Qt::DecorationRole);
    }
    QCOMPARE(asked.size(), 1);
    // A failed answer: the next paint asks again.
    QVERIFY(!model.setData(image, QByteArray(), Qt::DecorationRole));
    model.data(image, Qt::DecorationRole);
    QCOMPARE(asked.size(), 2);
}

void TestRecentFiles::menuAndDeleteKey()
{
    QUORVEL_DEVICE(device, {"--address", "127.0.0.62", "--no-mdns"});
    ServerContent server = DeviceProcess::serverAt("127.0.0.62");
    server.type = "server";
    QuorvelClientDatabase* db = m_context->database();
    QVERIFY(db->addRecentFileRecord(record(server.uuid, "file_upload", "/m/one.txt", 2)));
    QVERIFY(db->addRecentFileRecord(record(server.uuid, "file_upload", "/m/two.txt", 1)));
    RecentFilesDialog dialog(m_context->database(), *m_context->actions(), FileTypes());
    RecentFilesListView* view = dialog.view();

    ServerContent client = server;
    client.type = "client";
    show(dialog, client);
    QMenu* menu = rightClick(view, 0);
    QVERIFY(menu);
    QStringList enabled;
    for (QAction* a : menu->actions())
        enabled << (a->isEnabled() ? a->text() : QString());
    menu->close();
    QCOMPARE(enabled, (QStringList{"刷新", "删除记录", "清空记录", "在本地打开", "打开所在目录", "", ""}));

    show(dialog, server);
    menu = rightClick(view, 1);
    QAction* open = menu->actions().last();
    QVERIFY(open->isEnabled());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(open).center());
    QTRY_COMPARE_WITH_TIMEOUT(device.requests("file_open").size(), 1, 5000);
    QCOMPARE(device.requests("file_open").first().value("file_path").toString(), QString("/QuorVEL/two.txt"));
    m_opened.urls.clear();
    menu = rightClick(view, 1);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().at(4)).center());
    QCOMPARE(m_opened.urls, QList<QUrl>{QUrl::fromLocalFile("/m")});

    // The Delete key removes the current record at once, without a question.
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(0, 0)).center());
    QSignalSpy read(&dialog, &RecentFilesDialog::listUpdated);
    QTest::keyClick(view, Qt::Key_Delete);
    QVERIFY(read.wait(5000));
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(column(dialog.model(), 0), QStringList{"two.txt"});
    QCOMPARE(db->getRecentFiles(server.uuid).size(), 1);
}

// Closing the view (its device vanished, the window ends) while "open on the device"
// waits for a device that never answers, then ending the application: each ends at once,
// not after the command's wait.
void TestRecentFiles::closedWhileACommandWaits()
{
    const ScopedTiming timing([](Timing& t) { t.commandWaitMs = 60000; });
    UdpProbe silent(QHostAddress("127.0.0.63"), 16021);
    ServerContent server = DeviceProcess::serverAt("127.0.0.63");
    server.type = "server";
    QVERIFY(m_context->database()->addRecentFileRecord(record(server.uuid, "file_upload", "/m/a.txt", 1)));
    auto* dialog = new RecentFilesDialog(m_context->database(), *m_context->actions(), FileTypes());
    show(*dialog, server);
    QMenu* menu = rightClick(dialog->view(), 0);
    QVERIFY(menu);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().last()).center());
    QVERIFY(silent.receive(5000).isValid());
    const qint64 ms = millisecondsOf([&] { delete dialog; });
    qInfo("recent-files view closed in %lld ms", ms);
    QVERIFY2(ms < 2000, qPrintable(QString("closing took %1 ms").arg(ms)));
    const qint64 ending = millisecondsOf([&] { m_context.reset(); });
    qInfo("application ended in %lld ms", ending);
    QVERIFY2(ending < 2000, qPrintable(QString("ending took %1 ms").arg(ending)));
}

QTEST_MAIN(TestRecentFiles)
#include "tst_recentfiles.moc"
