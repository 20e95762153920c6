#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "DeviceProcess.h"
#include "TabStops.h"
#include "app/AppContext.h"
#include "quorvel/browse/RemoteFolder.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"
#include "ui/browser/FileListDialog.h"
#include "ui/browser/FileListView.h"
#include "ui/browser/FileTreeModel.h"
#include "ui/common/StyleSheet.h"

namespace {
// A name as long as a person may give a file: wider than any browser.
const QString LongName = QString("minutes of the weekly planning meeting ").repeated(6).left(200) + ".txt";

QImage iconImage(const char* name)
{
    return QIcon(QStringLiteral(":drawable/icon_%1.png").arg(name)).pixmap(48, 48).toImage();
}

// The served folder: the root's three folders and one that the root hides, files of the
// sizes at the unit boundaries, names with and without known extensions, nested folders.
void fill(const QString& root)
{
    QDir dir(root);
    for (const char* sub : {"Pictures", "Whiteboard", "Music", "Quorvel/sub/deeper"})
        QVERIFY(dir.mkpath(sub));
    const QList<QPair<QString, qint64>> files{{"b.bin", 1023}, {"k.bin", 1048575}, {"m.bin", 1048576},
        {"g.bin", 1073741824}, {"archive", 5}, {"song.MP3", 7}, {"gone.txt", 9}, {"doomed.txt", 11}};
    for (const auto& f : files) {
        QFile file(dir.filePath("Quorvel/" + f.first));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(f.second)); // sparse
    }
    // A folder of twenty files, one of them with a long name.
    QVERIFY(dir.mkpath("Quorvel/wide"));
    for (int i = 0; i < 19; ++i)
        QVERIFY(QFile(dir.filePath(QString("Quorvel/wide/note-%1.txt").arg(i))).open(QIODevice::WriteOnly));
    QVERIFY(QFile(dir.filePath("Quorvel/wide/" + LongName)).open(QIODevice::WriteOnly));
    QImage image(64, 40, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(dir.filePath("Quorvel/Photo.JPG"), "JPG"));
}
} // namespace

class TestFileBrowser : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void listingShowsSizesFoldersAndIcons();
    void walkingUpAndSorting();
    void deleteRefreshesOnlyWhenConfirmed_data();
    void deleteRefreshesOnlyWhenConfirmed();
    void thumbnailAskedOncePerRowAndAgainAfterFailure();
    void silentDeviceIsShown();
    void fitsItsWidthAndSortsFromTheHeader();

private:
    // A browser of the device at address, its root listed (and then the folder at path);
    // every control named.
    std::unique_ptr<FileListDialog> open(const QString& address, const QString& path = QString());
    int rowOf(const QString& name) const;
    void click(const QString& name, Qt::MouseButton button = Qt::LeftButton, bool twice = false);
    void walkTo(const QString& path);
    QString cell(const QString& name, int column) const
    {
        return model()->index(rowOf(name), column).data().toString();
    }
    QAbstractItemModel* model() const { return m_view->model(); }

    QTemporaryDir m_dir;
    std::unique_ptr<AppContext> m_context;
    std::unique_ptr<DeviceProcess> m_device;
    FileListDialog* m_dialog = nullptr;
    FileListView* m_view = nullptr;
};

void TestFileBrowser::initTestCase()
{
    QVERIFY(QDir(m_dir.path()).mkdir("app"));
    m_context = std::make_unique<AppContext>(m_dir.path() + "/app");
    QVERIFY(m_context->config()->setValue(Config::DownloadPath, m_dir.path() + "/down/"));
    Timing t;
    t.listingWaitMs = 300;
    t.commandWaitMs = 300;
    Timing::setForTests(t);
    fill(m_dir.path() + "/served");
    StyleSheet::apply(qApp);
    m_device = std::make_unique<DeviceProcess>(
        QStringList{"--address", "127.0.0.31", "--no-mdns", "--folder", m_dir.path() + "/served"});
    QVERIFY(m_device->isReady());
}

std::unique_ptr<FileListDialog> TestFileBrowser::open(const QString& address, const QString& path)
{
    auto dialog = std::make_unique<FileListDialog>(DeviceProcess::serverAt(address), *m_context->transfers(),
        *m_context->actions(), *m_context->config(), m_context->database(), FileTypes());
    m_dialog = dialog.get();
    m_view = dialog->findChild<FileListView*>("FileTreeView");
    new QAbstractItemModelTester(m_view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest, m_view);
    dialog->show();
    dialog->activateWindow();
    [&] { QVERIFY(QTest::qWaitForWindowActive(dialog.get())); }();
    m_view->setFocus();
    [&] {
        QCOMPARE(unnamedTabStops(dialog.get()), QStringList());
        QTRY_COMPARE(model()->rowCount(), 3);
    }();
    if (!path.isEmpty())
        walkTo(path);
    return dialog;
}

int TestFileBrowser::rowOf(const QString& name) const
{
    const QModelIndexList found = model()->match(model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    return found.isEmpty() ? -1 : found.first().row();
}

void TestFileBrowser::click(const QString& name, Qt::MouseButton button, bool twice)
{
    const QModelIndex index = model()->index(rowOf(name), 0);
    QVERIFY2(index.isValid(), qPrintable(name));
    m_view->scrollTo(index);
    const QPoint at = m_view->visualRect(index).center();
    QTest::mouseClick(m_view->viewport(), button, {}, at);
    if (twice)
        QTest::mouseDClick(m_view->viewport(), button, {}, at);
}

void TestFileBrowser::walkTo(const QString& path)
{
    const QString name = path.section('/', -1);
    click(name, Qt::LeftButton, true);
    QTRY_COMPARE(m_dialog->currentPath(), path);
    QCOMPARE(m_dialog->findChild<QLineEdit*>("FilePathEdit")->text(), path);
}

void TestFileBrowser::listingShowsSizesFoldersAndIcons()
{
    // The root shows its three folders only, as rows of folders.
    const auto dialog = open("127.0.0.31");
    // A row as "name|size|type|icon".
    const auto row = [&](const QString& name) {
        const QImage shown = model()->index(rowOf(name), 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
        QString icon = "?";
        for (const char* known : {"dir", "file_unknow", "file_music", "file_text"})
            icon = shown == iconImage(known) ? known : icon;
        return QStringList{name, cell(name, 1), cell(name, 3), icon}.join('|');
    };
    for (const char* name : {"Quorvel", "Pictures", "Whiteboard"})
        QCOMPARE(row(name), name + QString("||目录|dir"));
    walkTo("/Quorvel");
    for (const QString& expected : QStringList{"b.bin|1023 字节|文件|file_unknow", "k.bin|1023 KB|文件|file_unknow",
             "m.bin|1.0 MB|文件|file_unknow", "g.bin|1.00 GB|文件|file_unknow", "archive|5 字节|文件|file_unknow",
             "song.MP3|7 字节|文件|file_music", "gone.txt|9 字节|文件|file_text", "sub||目录|dir"})
        QCOMPARE(row(expected.section('|', 0, 0)), expected);
    // The image row is painted, asks for its thumbnail and shows it instead of the icon.
    QTRY_COMPARE(m_device->requests("get_thumb").size(), 1);
    QTRY_VERIFY(model()->index(rowOf("Photo.JPG"), 0).data(Qt::DecorationRole).value<QPixmap>().toImage()
        != iconImage("file_pic"));

    // Download and open through the menu.
    QSignalSpy progress(dialog.get(), &FileListDialog::updateDownloadProgress);
    for (const char* action : {"下载", "在Quorvel上打开"}) {
        click("song.MP3", Qt::RightButton);
        QMenu* menu = m_view->menu();
        QTRY_VERIFY(menu->isVisible());
        const auto actions = menu->actions();
        const auto it = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == action; });
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(*it).center());
    }
    QTRY_VERIFY(
        !progress.isEmpty() && progress.last().at(0).value<ProgressContent>().progress == ProgressContent::Done);
    QCOMPARE(QFileInfo(m_dir.path() + "/down/song.MP3").size(), 7);
    QTRY_COMPARE(m_device->requests("file_open").value(0).value("file_path").toString(), QString("/Quorvel/song.MP3"));
}

void TestFileBrowser::walkingUpAndSorting()
{
    const auto dialog = open("127.0.0.31");
    // Up from the root lists the root again.
    const int listings = m_device->requests("file_list").size();
    QTest::keyClick(m_view, Qt::Key_Backspace);
    QTRY_COMPARE(m_device->requests("file_list").size(), listings + 1);
    QTRY_VERIFY(!m_dialog->isLoading());
    QCOMPARE(m_dialog->currentPath(), QString());
    // In with the mouse and with Enter, up with the key and with the button.
    walkTo("/Quorvel");
    click("sub");
    QTest::keyClick(m_view, Qt::Key_Return);
    QTRY_COMPARE(m_dialog->currentPath(), QString("/Quorvel/sub"));
    walkTo("/Quorvel/sub/deeper");
    QTest::keyClick(m_view, Qt::Key_Backspace);
    QTRY_COMPARE(m_dialog->currentPath(), QString("/Quorvel/sub"));
    QTest::mouseClick(dialog->findChild<QPushButton*>("UperDirButton"), Qt::LeftButton);
    QTRY_COMPARE(m_dialog->currentPath(), QString("/Quorvel"));

    // Sorting asks the device again for the same folder, in the new order.
    click("b.bin", Qt::RightButton);
    QMenu* menu = m_view->menu();
    QTRY_VERIFY(menu->isVisible());
    QAction* sort = menu->actions().last();
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(sort).center());
    QMenu* sub = sort->menu();
    QTRY_VERIFY(sub->isVisible());
    QTest::mouseClick(sub, Qt::LeftButton, {}, sub->actionGeometry(sub->actions().at(3)).center());
    QTRY_COMPARE(m_device->requests("file_list").last().value("sort").toString(), QString("file_size_decrease"));
    QTRY_COMPARE(rowOf("g.bin"), 0);
    QCOMPARE(m_device->requests("file_list").last().value("file_path").toString(), QString("/Quorvel"));
    QCOMPARE(m_dialog->currentPath(), QString("/Quorvel"));
    QTest::keyClick(m_view, Qt::Key_Backspace);
    QTRY_COMPARE(m_dialog->currentPath(), QString());
}

void TestFileBrowser::deleteRefreshesOnlyWhenConfirmed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("confirmed") << "doomed.txt" << true;
    // Gone from the device's disk behind the browser's back: the device refuses.
    QTest::newRow("refused") << "gone.txt" << false;
}

void TestFileBrowser::deleteRefreshesOnlyWhenConfirmed()
{
    QFETCH(QString, name);
    QFETCH(bool, confirmed);
    const auto dialog = open("127.0.0.31", "/Quorvel");
    if (!confirmed)
        QVERIFY(QFile::remove(m_dir.path() + "/served/Quorvel/" + name));
    QSignalSpy results(m_context->actions(), &DeviceActions::finished);
    QSignalSpy deleted(dialog->findChild<RemoteFolder*>(), &RemoteFolder::deleted);
    const int listings = m_device->requests("file_list").size();
    click(name);
    QTest::keyClick(m_view, Qt::Key_Delete);
    QVERIFY(deleted.count() || deleted.wait(10000));
    // The refresh starts as the delete's end is handled: loading now, or never.
    QCOMPARE(m_dialog->isLoading(), confirmed);
    QCOMPARE(results.size(), 1);
    const auto result = results.first().first().value<DeviceActionResult>();
    QCOMPARE(result.argument, "/Quorvel/" + name);
    QCOMPARE(result.notice(), QString(confirmed ? "删除文件成功." : "删除文件失败."));
    if (confirmed)
        QTRY_COMPARE(rowOf(name), -1);
    QTRY_VERIFY(!m_dialog->isLoading());
    QCOMPARE(m_device->requests("file_list").size(), listings + (confirmed ? 1 : 0));
}

void TestFileBrowser::thumbnailAskedOncePerRowAndAgainAfterFailure()
{
    // A device that never answers for thumbnails: many paints while one request waits
    // ask once; a later paint after the failure asks again.
    QUORVEL_DEVICE(silent,
        {"--address", "127.0.0.32", "--no-mdns", "--folder", m_dir.path() + "/served", "--ignore", "get_thumb"});
    const auto dialog = open("127.0.0.32", "/Quorvel");
    QSignalSpy failed(dialog->findChild<RemoteFolder*>(), &RemoteFolder::thumbFetched);
    QTRY_COMPARE(silent.requests("get_thumb").size(), 1);
    for (int i = 0; i < 10; ++i)
        m_view->viewport()->repaint();
    // The first request's wait ends long after any the paints asked for reached the device.
    QVERIFY(failed.count() || failed.wait(10000));
    QCOMPARE(failed.first().first().toBool(), false);
    QCOMPARE(silent.requests("get_thumb").size(), 1);
    m_view->viewport()->repaint();
    QTRY_COMPARE(silent.requests("get_thumb").size(), 2);
    // None asked again by the failure itself: the second's end comes after any such.
    QTRY_COMPARE(failed.size(), 2);
    QCOMPARE(silent.requests("get_thumb").size(), 2);
}

void TestFileBrowser::silentDeviceIsShown()
{
    QUORVEL_DEVICE(device, {"--address", "127.0.0.33", "--no-mdns", "--folder", m_dir.path() + "/served"});
    const auto dialog = open("127.0.0.33", "/Quorvel");
    auto* status = dialog->findChild<QLabel*>("FileListStatus");
    const int rows = model()->rowCount();
    device.process().kill();
    QVERIFY(device.process().waitForFinished(3000));
    QTest::keyClick(m_view, Qt::Key_Backspace);
    QVERIFY(status->isVisible() && status->text().contains("正在加载"));
    QTRY_VERIFY(!m_dialog->isLoading());
    // Said so, with the reason; the folder shown and its rows stay.
    QVERIFY2(status->isVisible() && status->text().contains("秒内没有回复"), qPrintable(status->text()));
    // A screen reader names the line by what it says.
    QCOMPARE(status->accessibleName(), status->text());
    QCOMPARE(m_dialog->currentPath(), QString("/Quorvel"));
    QCOMPARE(model()->rowCount(), rows);
}

void TestFileBrowser::fitsItsWidthAndSortsFromTheHeader()
{
    const auto dialog = open("127.0.0.31", "/Quorvel");
    walkTo("/Quorvel/wide");
    QTRY_COMPARE(model()->rowCount(), 20);
    QCoreApplication::processEvents();
    // Nothing to scroll sideways: the columns share the view's width, the type's caption
    // whole, the long name shortened in its cell and whole in its tooltip.
    QHeaderView* header = m_view->header();
    QVERIFY(!m_view->horizontalScrollBar()->isVisible());
    int total = 0;
    for (int column = 0; column < FileTreeModel::ColumnCount; ++column)
        total += header->sectionSize(column);
    QVERIFY2(total <= m_view->viewport()->width(),
        qPrintable(QString("%1 > %2").arg(total).arg(m_view->viewport()->width())));
    QVERIFY(header->sectionSize(FileTreeModel::TypeColumn) >= header->fontMetrics().horizontalAdvance("类型") + 16);
    QCOMPARE(model()->index(rowOf(LongName), 0).data(Qt::ToolTipRole).toString(), LongName);
    // Shift+F10 opens the row's menu, as the Menu key does.
    click(LongName);
    QTest::keyClick(m_view, Qt::Key_F10, Qt::ShiftModifier);
    QTRY_VERIFY(m_view->menu()->isVisible());
    m_view->menu()->close();

    // The header shows the order, and a click on a column asks the device for another.
    QCOMPARE(header->sortIndicatorSection(), int(FileTreeModel::DateColumn));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    const auto clickHeader = [&](int column) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
            QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
    };
    QStringList orders;
    for (int column : {FileTreeModel::SizeColumn, FileTreeModel::SizeColumn, FileTreeModel::NameColumn}) {
        const int listings = m_device->requests("file_list").size();
        clickHeader(column);
        QTRY_COMPARE(m_device->requests("file_list").size(), listings + 1);
        QTRY_VERIFY(!m_dialog->isLoading());
        orders << m_device->requests("file_list").last().value("sort").toString();
        QCOMPARE(header->sortIndicatorSection(), column);
        QCOMPARE(orders.last().endsWith("_increase"), header->sortIndicatorOrder() == Qt::AscendingOrder);
    }
    QCOMPARE(orders.at(0).section('_', 0, 1), QString("file_size"));
    QVERIFY(orders.at(1).startsWith("file_size") && orders.at(1) != orders.at(0));
    QCOMPARE(orders.at(2).section('_', 0, 1), QString("file_name"));
    QCOMPARE(m_device->requests("file_list").last().value("file_path").toString(), QString("/Quorvel/wide"));
    // The type has no order on the device: the click changes nothing.
    // The order is asked for within the click, so nothing asked then is nothing at all.
    QSignalSpy asked(m_view, &FileListView::orderFile);
    clickHeader(FileTreeModel::TypeColumn);
    QCOMPARE(asked.count(), 0);
    QVERIFY(!m_dialog->isLoading());
    QCOMPARE(header->sortIndicatorSection(), int(FileTreeModel::NameColumn));
}

QTEST_MAIN(TestFileBrowser)
#include "tst_filebrowser.moc"
