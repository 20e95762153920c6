#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "AboutQuorvelDialog.h"
#include "AppContext.h"
#include "AppFolder.h"
#include "Config.h"
#include "DeviceProcess.h"
#include "FileListDialog.h"
#include "GuiUserInteraction.h"
#include "MainWindow.h"
#include "QuorvelClientDatabase.h"
#include "ServerContentWidget.h"
#include "SettingDialog.h"
#include "StyleSheet.h"
#include "TestFiles.h"
#include "Timing.h"
#include "TransferQueue.h"
#include "TrayIconMenu.h"
#include "XKeyHelper.h"
#include <functional>

namespace {
// A system tray on the test's X server, so that the window can go to the tray.
class TrayHost {
public:
    TrayHost()
    {
        m_process.start("trayer",
            {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32", "--SetDockType",
                "false", "--SetPartialStrut", "false"});
        m_process.waitForStarted(5000);
    }
    ~TrayHost()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

private:
    QProcess m_process;
};

// The window of the client with its application context, as libMain builds them.
struct Client {
    explicit Client(const QString& folder)
        : context(folder)
        , window(&context)
    {
        qApp->setStyleSheet(StyleSheet::load());
        interaction.setWindow(&window);
        UserInteraction::install(&interaction);
        window.show();
    }
    ~Client() { UserInteraction::install(nullptr); }
    template <typename T> T* find(const char* name) const
    {
        T* child = window.findChild<T*>(name);
        if (!child)
            qWarning("no %s", name);
        return child;
    }
    QStringList comboTexts() const
    {
        QStringList texts;
        auto* combo = find<QComboBox>("serverComboBox");
        for (int i = 0; i < combo->count(); ++i)
            texts.append(combo->itemText(i));
        return texts;
    }
    QStringList tabTexts() const
    {
        QStringList texts;
        auto* tabs = find<QTabWidget>("fileListTabWidget");
        for (int i = 0; i < tabs->count(); ++i)
            texts.append(tabs->tabText(i));
        return texts;
    }
    GuiUserInteraction interaction;
    AppContext context;
    MainWindow window;
};

// A device that answers at the address after the delay, hand-added to the client's list.
DeviceProcess* startDevice(
    const QString& folder, const QString& address, const QString& name, const QString& kind = "server", int delayMs = 0)
{
    auto* device = new DeviceProcess({"--address", address, "--name", name, "--kind", kind, "--no-mdns", "--delay",
        QString::number(delayMs), "--uuid", "uuid-" + name});
    QuorvelClientDatabase database(folder);
    database.addManualDevice(DeviceProcess::serverAt(address));
    return device;
}

// The message box that opens next, or null after a while.
QMessageBox* waitForBox()
{
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            return box;
        QTest::qWait(20);
    }
    return nullptr;
}

// Clicks at a point of the screen the way a pointer does, for what Qt does not draw
// itself (the tray's icon).
void clickOnScreen(const QPoint& at)
{
    XKeyHelper x;
    x.click(at.x(), at.y());
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Timing t = Timing::current();
        t.windowDiscoveryFallbackMs = 500;
        t.windowDeviceCheckMs = 1500;
        t.infoReplyWaitMs = 800;
        Timing::setForTests(t);
    }
    void init()
    {
        m_folder = std::make_unique<AppFolder>();
        QVERIFY(m_folder->isValid());
    }
    void devicesThenClientsAndTheRememberedChoice();
    void closingGoesToTheTray_data();
    void closingGoesToTheTray();
    void droppedPathsAreSent();
    void offeredFileIsAskedAbout_data();
    void offeredFileIsAskedAbout();
    void menusKeysAndNames();
    void screenshots();

private:
    std::unique_ptr<AppFolder> m_folder;
};

void TestMainWindow::devicesThenClientsAndTheRememberedChoice()
{
    // Found in the order client, A, B; remembered is a device that is not there.
    std::unique_ptr<DeviceProcess> pc(startDevice(m_folder->path(), "127.0.0.31", "PC", "client"));
    std::unique_ptr<DeviceProcess> a(startDevice(m_folder->path(), "127.0.0.32", "Room A", "server", 150));
    std::unique_ptr<DeviceProcess> b(startDevice(m_folder->path(), "127.0.0.33", "Room B", "server", 300));
    {
        Config config(m_folder->path());
        config.setValue(Config::LastSelectedServerUUID, "uuid-gone");
    }
    Client client(m_folder->path());
    QTRY_COMPARE_WITH_TIMEOUT(client.comboTexts(), (QStringList{"Room A", "Room B", "PC"}), 10000);
    auto* combo = client.find<QComboBox>("serverComboBox");
    auto* card = client.find<ServerContentWidget>("serverWidget");
    // A rebuild shows the first device and stores nothing.
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(card->server().name, QString("Room A"));
    QCOMPARE(client.context.config()->value(Config::LastSelectedServerUUID).toString(), QString("uuid-gone"));

    // A person's choice is stored, and a later rebuild keeps it.
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(card->server().name, QString("Room B"));
    QCOMPARE(client.context.config()->value(Config::LastSelectedServerUUID).toString(), QString("uuid-Room B"));
    QCOMPARE(client.tabTexts(), (QStringList{"最近文件", "Room B"}));
    // The browser's tab closes; Enter on the device card opens it again.
    QTabBar* bar = client.find<QTabWidget>("fileListTabWidget")->tabBar();
    QVERIFY(!bar->tabButton(0, QTabBar::RightSide)); // the history stays
    QTest::mouseClick(bar->tabButton(1, QTabBar::RightSide), Qt::LeftButton);
    QCOMPARE(client.tabTexts(), QStringList{"最近文件"});
    card->setFocus();
    QTest::keyClick(card, Qt::Key_Return);
    QCOMPARE(client.tabTexts(), (QStringList{"最近文件", "Room B"}));
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    QCOMPARE(card->server().type, QString("client"));
    QCOMPARE(client.tabTexts(), QStringList{"最近文件"});
    QTest::keyClick(combo, Qt::Key_Up);

    // Room A goes away: the list follows, and the choice stays with Room B.
    a.reset();
    QTRY_COMPARE_WITH_TIMEOUT(client.comboTexts(), (QStringList{"Room B", "PC"}), 40000);
    QCOMPARE(card->server().name, QString("Room B"));
}

void TestMainWindow::closingGoesToTheTray_data()
{
    QTest::addColumn<bool>("tray");
    QTest::newRow("without a tray") << false;
    QTest::newRow("with a tray") << true;
}

void TestMainWindow::closingGoesToTheTray()
{
    QFETCH(bool, tray);
    std::unique_ptr<TrayHost> host(tray ? new TrayHost : nullptr);
    if (tray)
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    else
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
    Client client(m_folder->path());
    QVERIFY(QTest::qWaitForWindowExposed(&client.window));
    QTest::mouseClick(client.find<QPushButton>("btn_close"), Qt::LeftButton);
    if (!tray) {
        // Nowhere to come back from: the window only goes down to the task bar.
        QTRY_VERIFY(client.window.isMinimized());
        QVERIFY(client.window.isVisible());
        return;
    }
    QTRY_VERIFY(client.window.isHidden());
    QSystemTrayIcon* icon = client.window.trayIcon();
    // Two clicks in a row are two single clicks, not a double click.
    QApplication::setDoubleClickInterval(1);
    QTRY_VERIFY_WITH_TIMEOUT(icon->geometry().isValid(), 10000);
    clickOnScreen(icon->geometry().center());
    QTRY_VERIFY_WITH_TIMEOUT(client.window.isVisible(), 5000);
    clickOnScreen(icon->geometry().center());
    QTRY_VERIFY_WITH_TIMEOUT(client.window.isHidden(), 5000);
    // The tray menu's first entry toggles too.
    client.window.trayMenu()->showHideAction()->trigger();
    QVERIFY(client.window.isVisible());
}

void TestMainWindow::droppedPathsAreSent()
{
    std::unique_ptr<DeviceProcess> device(startDevice(m_folder->path(), "127.0.0.34", "Room C"));
    QTemporaryDir files;
    QDir(files.path()).mkpath("folder/inner");
    QStringList dropped;
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
        QVERIFY(TestFiles::write(files.filePath(name), QByteArray(name) + " content"));
        dropped.append(files.filePath(name).replace('/', '\\'));
    }
    QVERIFY(TestFiles::write(files.filePath("folder/four.txt"), "4"));
    QVERIFY(TestFiles::write(files.filePath("folder/inner/five.txt"), "5"));
    dropped << files.filePath("folder") << files.filePath("missing.txt");

    Client client(m_folder->path());
    QStringList failures;
    connect(client.context.transfers(), &TransferQueue::transferEnded, this,
        [&](const ProgressContent& pc, const TaskOutcome& o) { failures << pc.nativePath + ": " + o.text(); });
    QTRY_COMPARE_WITH_TIMEOUT(client.comboTexts(), QStringList{"Room C"}, 10000);
    auto* card = client.find<ServerContentWidget>("serverWidget");
    QMimeData data;
    QList<QUrl> urls;
    for (const QString& path : dropped)
        urls.append(QUrl::fromLocalFile(path));
    data.setUrls(urls);
    QDragEnterEvent enter(card->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(card, &enter);
    QDropEvent drop(card->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(card, &drop);

    // The path that gives nothing is named; everything else reaches the device.
    QMessageBox* box = waitForBox();
    QVERIFY(box);
    QVERIFY2(box->informativeText().contains("missing.txt: does not exist"), qPrintable(box->informativeText()));
    QTest::keyClick(box, Qt::Key_Return);
    const QStringList sent{"five.txt", "four.txt", "one.txt", "three.txt", "two.txt"};
    QTRY_COMPARE_WITH_TIMEOUT(failures.size(), sent.size(), 20000);
    QCOMPARE(failures.filter(QRegularExpression(": .")), QStringList());
    const QDir uploads(device->folder() + "/Quorvel/上传");
    QCOMPARE(uploads.entryList(sent, QDir::Files, QDir::Name), sent);
    QCOMPARE(TestFiles::read(uploads.filePath("one.txt")), QByteArray("one.txt content"));
}

void TestMainWindow::offeredFileIsAskedAbout_data()
{
    QTest::addColumn<bool>("take");
    QTest::newRow("yes") << true;
    QTest::newRow("no") << false;
}

void TestMainWindow::offeredFileIsAskedAbout()
{
    QFETCH(bool, take);
    std::unique_ptr<DeviceProcess> device(startDevice(m_folder->path(), "127.0.0.35", "Room D"));
    Client client(m_folder->path());
    QTRY_COMPARE_WITH_TIMEOUT(client.comboTexts(), QStringList{"Room D"}, 10000);
    client.window.hide(); // the question comes while the window is in the tray
    QVERIFY(TestFiles::write(device->folder() + "/offered.txt", "offered bytes"));
    device->command("offer 127.0.0.1 /offered.txt");

    QMessageBox* box = waitForBox();
    device->waitForOutput("offer");
    QVERIFY2(box, qPrintable(device->output() + client.find<QLabel>("portNotice")->text()));
    QCOMPARE(box->windowTitle(), QString("提示"));
    QCOMPARE(box->text(), QString("是否下载来自 Room D 的文件：offered.txt?"));
    QVERIFY(!box->defaultButton());
    QTest::keyClick(box, Qt::Key_Return); // a stray Enter answers nothing
    QVERIFY(box->isVisible());
    QTest::mouseClick(box->button(take ? QMessageBox::Yes : QMessageBox::No), Qt::LeftButton);
    const QString target = client.context.config()->value(Config::DownloadPath).toString() + "/offered.txt";
    if (take) {
        QTRY_COMPARE_WITH_TIMEOUT(TestFiles::read(target), QByteArray("offered bytes"), 15000);
        return;
    }
    // Declined: nothing is fetched, and the device is not told.
    QSignalSpy transfers(client.context.transfers(), &TransferQueue::progress);
    QVERIFY(!transfers.wait(1500));
    QVERIFY(device->requests("download").isEmpty());
    QVERIFY(!QFile::exists(target));
}

void TestMainWindow::menusKeysAndNames()
{
    Client client(m_folder->path());
    QVERIFY(QTest::qWaitForWindowExposed(&client.window));
    QCOMPARE(client.window.windowTitle(), QString("Quorvel客户端"));
    QCOMPARE(client.find<QLabel>("labelVersion")->text(), QString("V" QUORVEL_VERSION));
    QVERIFY(client.window.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(client.find<QPushButton>("btn_max")->isHidden());
    QCOMPARE(client.window.size(), QSize(898, 717));

    // Every control a person can reach has a name for screen readers.
    for (QWidget* w : client.window.findChildren<QWidget*>()) {
        if (w->isVisibleTo(&client.window) && (w->focusPolicy() & Qt::TabFocus))
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }

    QStringList entries;
    for (QAction* action : client.window.popupMenu()->actions())
        entries.append(action->isSeparator() ? "-" : action->text());
    QCOMPARE(entries,
        (QStringList{"刷新", "手动添加设备", "-", "上传文件", "上传多个文件", "-", "设置欢迎辞", "-", "设置", "关于",
            "-", "退出"}));

    // F5 starts a pass: the refresh button waits for its end.
    auto* refresh = client.find<QPushButton>("refreshPushButton");
    QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 5000);
    QTest::keyClick(&client.window, Qt::Key_F5);
    QVERIFY(!refresh->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(refresh->isEnabled(), 5000);

    // The debug window sits behind its key chord.
    QWidget* log = client.window.findChild<QDialog*>("LogDialog");
    QVERIFY(log && !log->isVisible());
    for (Qt::Key key : {Qt::Key_M, Qt::Key_E, Qt::Key_E, Qt::Key_T})
        QTest::keyClick(&client.window, key, Qt::ControlModifier);
    QTRY_VERIFY(log->isVisible());

    // The header band drags the window.
    const QPoint before = client.window.pos();
    QWidget* header = client.find<QWidget>("main_info");
    QTest::mousePress(header, Qt::LeftButton, {}, QPoint(200, 10));
    QMouseEvent move(QEvent::MouseMove, QPoint(260, 50), header->mapToGlobal(QPoint(260, 50)), Qt::NoButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(header, &move);
    QTest::mouseRelease(header, Qt::LeftButton, {}, QPoint(260, 50));
    QCOMPARE(client.window.pos(), before + QPoint(60, 40));
}

// Pictures of the window and of every dialog, for a person to look at after a run: in
// the build folder, under screenshots/scale1 or scale2 (the suite runs this function a
// second time with QT_SCALE_FACTOR=2).
void TestMainWindow::screenshots()
{
    std::unique_ptr<DeviceProcess> room(startDevice(m_folder->path(), "127.0.0.36", "会议室 A"));
    std::unique_ptr<DeviceProcess> pc(startDevice(m_folder->path(), "127.0.0.37", "PC-Lin", "client"));
    Client client(m_folder->path());
    QVERIFY(QTest::qWaitForWindowExposed(&client.window));
    const QString folder
        = QStringLiteral(QUORVEL_BUILD_DIR "/screenshots/scale%1").arg(qRound(qApp->devicePixelRatio()));
    QVERIFY(QDir().mkpath(folder));
    const auto save = [&](QWidget* w, const QString& name) {
        QVERIFY2(w, qPrintable(name));
        const QPixmap shot = w->grab();
        QVERIFY(!shot.isNull());
        QCOMPARE(qRound(shot.devicePixelRatio()), qRound(qApp->devicePixelRatio()));
        QVERIFY(shot.save(folder + "/" + name + ".png"));
    };
    // A modal dialog runs its own loop: it is pictured from inside it, then closed.
    const auto saveModal = [&](const std::function<void()>& open, const QString& name) {
        bool saved = false;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget(); dialog && dialog->isVisible() && !saved) {
                saved = true;
                save(dialog, name);
                QTest::keyClick(dialog, Qt::Key_Escape);
            }
        });
        poll.start(50);
        open();
        QTRY_VERIFY(saved);
    };

    QTRY_COMPARE_WITH_TIMEOUT(client.comboTexts(), (QStringList{"会议室 A", "PC-Lin"}), 10000);
    QTest::keyClick(client.find<QComboBox>("serverComboBox"), Qt::Key_Home);
    auto* browser = client.window.findChild<FileListDialog*>();
    QVERIFY(browser);
    QTRY_VERIFY_WITH_TIMEOUT(!browser->isLoading(), 10000);
    QTemporaryDir files;
    QVERIFY(TestFiles::write(files.filePath("季度报告.pdf"), QByteArray(300000, 'x')));
    QSignalSpy ended(client.context.transfers(), &TransferQueue::transferEnded);
    client.context.transfers()->send({files.filePath("季度报告.pdf")}, client.window.devices().first(), false);
    QVERIFY(ended.count() || ended.wait(15000));
    save(&client.window, "mainwindow");

    client.window.popupMenu()->popup(client.window.mapToGlobal(QPoint(600, 60)));
    QVERIFY(QTest::qWaitForWindowExposed(client.window.popupMenu()));
    save(client.window.popupMenu(), "popupmenu");
    client.window.popupMenu()->hide();
    QTest::keyClick(&client.window, Qt::Key_Comma, Qt::ControlModifier);
    auto* settings = client.window.findChild<SettingDialog*>();
    QVERIFY(settings && QTest::qWaitForWindowExposed(settings));
    save(settings, "settings");
    settings->close();
    const auto trigger = [&](const QString& text) {
        for (QAction* action : client.window.popupMenu()->actions()) {
            if (action->text() == text)
                action->trigger();
        }
    };
    saveModal([&] { trigger("设置欢迎辞"); }, "welcometext");
    saveModal([&] { trigger("手动添加设备"); }, "manualdevices");
    trigger("关于");
    QVERIFY(QTest::qWaitForWindowExposed(AboutQuorvelDialog::instance()));
    save(AboutQuorvelDialog::instance(), "about");
    AboutQuorvelDialog::instance()->close();
    QTest::keyClick(client.find<QComboBox>("serverComboBox"), Qt::Key_Down);
    save(&client.window, "mainwindow-client");
    QVERIFY(TestFiles::write(room->folder() + "/offered.txt", "x"));
    room->command("offer 127.0.0.1 /offered.txt");
    QMessageBox* box = waitForBox();
    save(box, "incomingfile");
    QTest::keyClick(box, Qt::Key_Escape);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
