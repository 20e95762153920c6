#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include "AppFolder.h"
#include "Cjk.h"
#include "DeviceProcess.h"
#include "TestFiles.h"
#include "XKeyHelper.h"
#include "app/AppContext.h"
#include "app/WindowServicesOf.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/ProgressContent.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"
#include "ui/browser/FileListDialog.h"
#include "ui/browser/FileListView.h"
#include "ui/common/DesktopNotifier.h"
#include "ui/common/GuiUserInteraction.h"
#include "ui/common/StyleSheet.h"
#include "ui/dialogs/AboutQuorvelDialog.h"
#include "ui/dialogs/ManualDevicesManageDialog.h"
#include "ui/dialogs/SettingDialog.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/mainwindow/ServerContentWidget.h"
#include "ui/mainwindow/TrayIconMenu.h"
#include "ui/transfers/ProgressDockWidget.h"
#include "utils/AppLanguage.h"

#include <functional>

namespace {
// A system tray on the test's X server, so that the window can go to the tray; it ends
// with the process object.
std::unique_ptr<QProcess> trayHost()
{
    auto tray = std::make_unique<QProcess>();
    tray->start("trayer",
        {"--edge", "bottom", "--align", "right", "--widthtype", "request", "--height", "32", "--SetDockType", "false",
            "--SetPartialStrut", "false"});
    tray->waitForStarted(5000);
    return tray;
}

// The window of the client with its application context, as libMain builds them.
struct Client {
    explicit Client(const QString& folder)
        : context(folder, nullptr, &interaction)
        , window(windowServicesOf(context))
    {
        StyleSheet::apply(qApp);
        interaction.setWindow(&window);
        window.show();
    }
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
        for (auto* combo = find<QComboBox>("serverComboBox"); texts.size() < combo->count();)
            texts.append(combo->itemText(texts.size()));
        return texts;
    }
    QStringList tabTexts() const
    {
        QStringList texts;
        for (auto* tabs = find<QTabWidget>("fileListTabWidget"); texts.size() < tabs->count();)
            texts.append(tabs->tabText(texts.size()));
        return texts;
    }
    // Triggers the window menu's entry of that text.
    void trigger(const QString& text) const
    {
        for (QAction* action : window.popupMenu()->actions()) {
            if (action->text() == text)
                action->trigger();
        }
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
    const auto box = [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); };
    return QTest::qWaitFor([&] { return box() != nullptr; }, 10000) ? box() : nullptr;
}

// The texts of a widget and all inside it that hold Chinese: what is shown (labels,
// buttons, menus, tabs, items and headers, titles, placeholders), tooltips, and what a
// screen reader reads (accessible names and descriptions). The devices' own folder names
// are the protocol's and stay.
QStringList chineseTexts(QWidget* root)
{
    QStringList texts;
    const auto actions = [&texts](const QList<QAction*>& list) {
        for (QAction* a : list)
            texts << a->text() << a->toolTip() << a->statusTip() << (a->menu() ? a->menu()->title() : QString());
    };
    const auto model = [&texts](QAbstractItemModel* m) {
        if (!m)
            return;
        for (int c = 0; c < m->columnCount(); ++c)
            texts << m->headerData(c, Qt::Horizontal).toString()
                  << m->headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString();
        for (int r = 0; r < qMin(m->rowCount(), 200); ++r) {
            for (int c = 0; c < m->columnCount(); ++c) {
                const QModelIndex i = m->index(r, c);
                for (int role : {int(Qt::DisplayRole), int(Qt::ToolTipRole), int(Qt::AccessibleTextRole),
                         int(Qt::AccessibleDescriptionRole)})
                    texts << i.data(role).toString();
            }
        }
    };
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* w : qAsConst(widgets)) {
        texts << w->windowTitle() << w->toolTip() << w->statusTip() << w->whatsThis() << w->accessibleName()
              << w->accessibleDescription();
        actions(w->actions());
        if (auto* l = qobject_cast<QLabel*>(w))
            texts << l->text();
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            texts << b->text();
        if (auto* e = qobject_cast<QLineEdit*>(w))
            texts << e->placeholderText();
        if (auto* g = qobject_cast<QGroupBox*>(w))
            texts << g->title();
        if (auto* m = qobject_cast<QMenu*>(w))
            texts << m->title();
        if (auto* box = qobject_cast<QMessageBox*>(w))
            texts << box->text() << box->informativeText();
        if (auto* c = qobject_cast<QComboBox*>(w))
            model(c->model());
        if (auto* v = qobject_cast<QAbstractItemView*>(w))
            model(v->model());
        if (auto* t = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < t->count(); ++i)
                texts << t->tabText(i) << t->tabToolTip(i);
        }
    }
    // What a screen reader walks.
    QList<QAccessibleInterface*> pending{QAccessible::queryAccessibleInterface(root)};
    for (int seen = 0; !pending.isEmpty() && seen < 5000; ++seen) {
        QAccessibleInterface* node = pending.takeFirst();
        if (!node || !node->isValid())
            continue;
        texts << node->text(QAccessible::Name) << node->text(QAccessible::Description);
        for (int i = 0; i < node->childCount(); ++i)
            pending << node->child(i);
    }
    QStringList chinese;
    for (QString text : qAsConst(texts)) {
        text.remove(QString::fromUtf8("上传")).remove(QString::fromUtf8("接收"));
        if (hasCjk(text) && !chinese.contains(text))
            chinese << text;
    }
    return chinese;
}

// A desktop's notification server on a connection of its own to the suite's session bus:
// keeps what it is asked to show, and clicks a notification when told.
class FakeNotifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    FakeNotifications()
        : m_bus(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-notifications"))
    {
        m_ok = m_bus.registerObject(DesktopNotifier::Path, this, QDBusConnection::ExportAllSlots)
            && m_bus.registerService(DesktopNotifier::Service);
    }
    ~FakeNotifications()
    {
        m_bus.unregisterService(DesktopNotifier::Service);
        m_bus.unregisterObject(DesktopNotifier::Path);
        QDBusConnection::disconnectFromBus("fake-notifications");
    }
    bool isValid() const { return m_ok; }
    // "summary|body" of each notification so far.
    QStringList shown;
    void click(uint id)
    {
        QDBusMessage clicked
            = QDBusMessage::createSignal(DesktopNotifier::Path, DesktopNotifier::Service, "ActionInvoked");
        clicked << id << QString("default");
        m_bus.send(clicked);
    }

public slots:
    uint Notify(const QString&, uint, const QString&, const QString& summary, const QString& body,
        const QStringList& actions, const QVariantMap&, int)
    {
        shown << summary + "|" + body + (actions.contains("default") ? "" : "|no default action");
        return uint(shown.size());
    }
    QStringList GetCapabilities() { return {"actions", "body"}; }

private:
    QDBusConnection m_bus;
    bool m_ok = false;
};

// Opens a modal dialog and runs check on it from inside its own event loop, where check
// also closes it; fails the test when none opened.
void atModal(const std::function<void()>& open, const std::function<void(QWidget*)>& check)
{
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* dialog = QApplication::activeModalWidget(); dialog && dialog->isVisible() && !seen) {
            seen = true;
            check(dialog);
        }
    });
    poll.start(20);
    open();
    QTRY_VERIFY(seen);
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
    void browserWaitsForTheChoiceToSettle();
    void closingGoesToTheTray_data();
    void closingGoesToTheTray();
    void droppedPathsAreSent();
    void menusKeysAndNames();
    void fitsTheScreenAndCentresDialogs();
    void screenshots();
    void englishWindowHasNoChinese();
    void hiddenWindowNotifies();

private:
    // Every view and dialog in its states, pictured under folder; in English, each also
    // checked for Chinese texts.
    void pictures(const QString& folder, bool english);
    std::unique_ptr<AppFolder> m_folder;
};

void TestMainWindow::devicesThenClientsAndTheRememberedChoice()
{
    // Found in the order client, A, B; remembered is a device that is not there.
    std::unique_ptr<DeviceProcess> pc(startDevice(m_folder->path(), "127.0.0.31", "PC", "client"));
    std::unique_ptr<DeviceProcess> a(startDevice(m_folder->path(), "127.0.0.32", "Room A", "server", 150));
    std::unique_ptr<DeviceProcess> b(startDevice(m_folder->path(), "127.0.0.33", "Room B", "server", 300));
    QVERIFY(Config(m_folder->path()).setValue(Config::LastSelectedServerUUID, "uuid-gone"));
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

void TestMainWindow::browserWaitsForTheChoiceToSettle()
{
    // The remembered device answers after another one: the window shows the other one
    // first, and builds a browser for the remembered one alone.
    const Timing saved = Timing::current();
    Timing t = saved;
    t.windowChoiceSettleMs = 4000;
    Timing::setForTests(t);
    std::unique_ptr<DeviceProcess> a(startDevice(m_folder->path(), "127.0.0.34", "Room A"));
    QVERIFY(Config(m_folder->path()).setValue(Config::LastSelectedServerUUID, "uuid-Room B"));
    Client client(m_folder->path());
    QStringList tabsSeen;
    const auto tabs = [&] {
        for (const QString& tab : client.tabTexts())
            if (!tabsSeen.contains(tab))
                tabsSeen << tab;
        return client.tabTexts();
    };
    QTRY_VERIFY_WITH_TIMEOUT(client.comboTexts() == QStringList{"Room A"} && !tabs().isEmpty(), 10000);
    std::unique_ptr<DeviceProcess> b(startDevice(m_folder->path(), "127.0.0.35", "Room B"));
    QTest::mouseClick(client.find<QPushButton>("refreshPushButton"), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(tabs(), (QStringList{"最近文件", "Room B"}), 15000);
    QCOMPARE(client.comboTexts(), (QStringList{"Room A", "Room B"}));
    QCOMPARE(tabsSeen, (QStringList{"最近文件", "Room B"}));
    Timing::setForTests(saved);
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
    const auto host = tray ? trayHost() : nullptr;
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
    // The host places the icon, then may move it as it settles: click once two polls
    // in a row see the same place.
    QRect placed;
    const auto settled = [&] {
        const QRect now = icon->geometry();
        return now.isValid() && std::exchange(placed, now) == now;
    };
    QTRY_VERIFY_WITH_TIMEOUT(settled(), 10000);
    // The tray's icon is not Qt's to click: the pointer clicks it.
    XKeyHelper pointer;
    pointer.click(placed.center().x(), placed.center().y());
    QTRY_VERIFY_WITH_TIMEOUT(client.window.isVisible(), 5000);
    pointer.click(icon->geometry().center().x(), icon->geometry().center().y());
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
    // A folder of 10,000 files (over the per-folder limit) is walked off the window's thread.
    QVERIFY(QDir(files.path()).mkpath("many"));
    for (int i = 0; i < 10000; ++i)
        QVERIFY(TestFiles::write(files.filePath(QString("many/%1.txt").arg(i)), ""));
    dropped << files.filePath("folder") << files.filePath("missing.txt") << files.filePath("many");

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
    QVERIFY2(!QApplication::activeModalWidget(), "the drop was walked before the window could go on");

    // The paths that give nothing are named; everything else reaches the device.
    QMessageBox* box = waitForBox();
    QVERIFY(box);
    QVERIFY2(box->informativeText().contains("missing.txt: 不存在")
            && box->informativeText().contains("many: 包含超过 1000 个文件"),
        qPrintable(box->informativeText()));
    QTest::keyClick(box, Qt::Key_Return);
    const QStringList sent{"five.txt", "four.txt", "one.txt", "three.txt", "two.txt"};
    QTRY_COMPARE_WITH_TIMEOUT(failures.size(), sent.size(), 20000);
    QCOMPARE(failures.filter(QRegularExpression(": .")), QStringList());
    const QDir uploads(device->folder() + "/Quorvel/上传");
    QCOMPARE(uploads.entryList(sent, QDir::Files, QDir::Name), sent);
    QCOMPARE(TestFiles::read(uploads.filePath("one.txt")), QByteArray("one.txt content"));
    // A device action's result shows in the status bar.
    client.context.actions()->open(client.window.devices().first(), "/Quorvel/上传/one.txt");
    QTRY_COMPARE_WITH_TIMEOUT(client.find<QStatusBar>("statusBar")->currentMessage(), QString("打开文件成功."), 5000);
}

// Out of sight, an offered file and each transfer's end become desktop notifications; a
// click on one shows the window. In front, nothing is notified. The offered file is asked
// about, declined and then taken. Without a notification server the tray says it.
void TestMainWindow::hiddenWindowNotifies()
{
    std::unique_ptr<DeviceProcess> device(startDevice(m_folder->path(), "127.0.0.38", "Room N"));
    const auto tray = trayHost();
    QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), 10000);
    auto fake = std::make_unique<FakeNotifications>();
    FakeNotifications& server = *fake;
    QVERIFY(server.isValid());
    Client client(m_folder->path());
    QTRY_COMPARE_WITH_TIMEOUT(client.comboTexts(), QStringList{"Room N"}, 10000);
    QTemporaryDir files;
    QVERIFY(TestFiles::write(files.filePath("sent.txt"), "bytes"));
    QSignalSpy ended(client.context.transfers(), &TransferQueue::transferEnded);
    const auto send = [&](const QString& path) {
        ended.clear();
        client.context.transfers()->send({path}, client.window.devices().first(), false);
        QVERIFY(ended.count() || ended.wait(15000));
    };

    client.window.hide();
    send(files.filePath("sent.txt"));
    send(files.filePath("missing.txt"));
    QTRY_COMPARE(server.shown.size(), 2);
    QCOMPARE(server.shown.at(0), QString("传输完成|sent.txt"));
    QVERIFY2(server.shown.at(1).startsWith("传输失败|missing.txt: "), qPrintable(server.shown.at(1)));
    server.click(1);
    QTRY_VERIFY(client.window.isVisible());

    // In front: nothing. A call behind the notifier's would-be one comes back after it.
    send(files.filePath("sent.txt"));
    QDBusPendingCallWatcher probe(QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        DesktopNotifier::Service, DesktopNotifier::Path, DesktopNotifier::Service, "GetCapabilities")));
    QSignalSpy answered(&probe, &QDBusPendingCallWatcher::finished);
    QVERIFY(answered.count() || answered.wait(5000));
    QCOMPARE(server.shown.size(), 2);

    // An offered file while minimised.
    client.window.showMinimized();
    QTRY_VERIFY(client.window.isMinimized());
    QVERIFY(TestFiles::write(device->folder() + "/offered.txt", "offered bytes"));
    device->command("offer 127.0.0.1 /offered.txt");
    QTRY_COMPARE_WITH_TIMEOUT(server.shown.size(), 3, 10000);
    QCOMPARE(server.shown.at(2), QString("收到文件|Room N (127.0.0.38) 发来了 offered.txt"));
    QMessageBox* box = waitForBox();
    QVERIFY(box);
    QCOMPARE(box->text(), QString("是否下载来自 Room N 的文件：offered.txt?"));
    QVERIFY(!box->defaultButton());
    QTest::keyClick(box, Qt::Key_Return); // a stray Enter answers nothing
    QVERIFY(box->isVisible());
    // Declined: nothing is fetched, and the device is not told.
    QSignalSpy transfers(client.context.transfers(), &TransferQueue::progress);
    QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
    QVERIFY(!transfers.wait(1500));
    QVERIFY(device->requests("file_download").isEmpty()); // the fetch a yes makes
    const QString target = client.context.config()->value(Config::DownloadPath).toString() + "/offered.txt";
    // Offered again while in the tray: taken.
    client.window.hide();
    device->command("offer 127.0.0.1 /offered.txt");
    box = waitForBox();
    QVERIFY(box);
    QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(TestFiles::read(target), QByteArray("offered bytes"), 15000);

    // No notification server: the tray's own message, and a click on it.
    fake.reset();
    client.window.hide();
    send(files.filePath("sent.txt"));
    const auto balloon = [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->inherits("QBalloonTip") && w->isVisible())
                return w;
        }
        return static_cast<QWidget*>(nullptr);
    };
    QTRY_VERIFY_WITH_TIMEOUT(balloon(), 5000);
    QTest::mouseClick(balloon(), Qt::LeftButton, {}, QPoint(20, 20));
    QTRY_VERIFY(client.window.isVisible());
}

void TestMainWindow::menusKeysAndNames()
{
    Client client(m_folder->path());
    QVERIFY(QTest::qWaitForWindowExposed(&client.window));

    // Tab goes as a person reads: the title bar, the left column from the top, the files.
    client.find<QPushButton>("btn_menu")->setFocus();
    QStringList visited;
    for (int i = 0; i < 14 && !visited.contains("fileListTabWidget"); ++i) {
        QWidget* focus = QApplication::focusWidget();
        for (QWidget* w = focus; w; w = w->parentWidget()) {
            if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_")) {
                visited << w->objectName();
                break;
            }
        }
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    // (The refresh button is skipped while a discovery pass runs.)
    const QStringList order{"btn_menu", "btn_min", "btn_close", "serverComboBox", "addDevice", "runDoctor",
        "isSecureModel", "fileListTabWidget"};
    for (int i = 0; i < order.size(); ++i)
        QVERIFY2(visited.contains(order[i]) && (i == 0 || visited.indexOf(order[i - 1]) < visited.indexOf(order[i])),
            qPrintable(visited.join(' ')));

    // Every control a person can reach has a name for screen readers.
    for (QWidget* w : client.window.findChildren<QWidget*>()) {
        if (w->isVisibleTo(&client.window) && (w->focusPolicy() & Qt::TabFocus))
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }

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

void TestMainWindow::fitsTheScreenAndCentresDialogs()
{
    // Run at scale 1 and 2 (a 1080p screen is 960 x 540 to a window at scale 2).
    Client client(m_folder->path());
    QVERIFY(QTest::qWaitForWindowExposed(&client.window));
    const QRect screen = client.window.screen()->availableGeometry();
    const QSize minimum = client.window.minimumSize();
    QVERIFY(minimum.width() <= screen.width() && minimum.height() <= screen.height());
    QVERIFY(client.window.minimumSizeHint().height() <= screen.height());
    QVERIFY(screen.contains(client.window.frameGeometry()));
    // The panel and the status bar are on the screen.
    for (const char* name : {"notifyWidget", "statusBar"}) {
        QWidget* w = client.find<QWidget>(name);
        QVERIFY2(screen.contains(QRect(w->mapToGlobal(QPoint()), w->size())), name);
    }

    // Nothing found yet: the window says so and offers what to do.
    QWidget* hint = client.find<QWidget>("emptyHint");
    QVERIFY(hint->isVisible());
    QVERIFY(!client.find<QLabel>("emptyText")->text().isEmpty());
    QVERIFY(client.find<QPushButton>("runDoctor")->isVisible());

    // Dialogs open over the window, wherever it is.
    client.window.move(screen.topLeft());
    QTRY_COMPARE(client.window.pos(), screen.topLeft());
    const QPoint centre = client.window.frameGeometry().center();
    const auto over = [&](QWidget* dialog) {
        const QPoint d = dialog->frameGeometry().center() - centre;
        return qAbs(d.x()) <= client.window.width() / 6 && qAbs(d.y()) <= client.window.height() / 6;
    };
    QString where;
    atModal([&] { QTest::mouseClick(client.find<QPushButton>("addDevice"), Qt::LeftButton); },
        [&](QWidget* dialog) {
            if (!qobject_cast<ManualDevicesManageDialog*>(dialog) || !over(dialog))
                where = dialog->metaObject()->className();
            dialog->close();
        });
    QVERIFY2(where.isEmpty(), qPrintable(where));
    const auto about = [&] {
        client.trigger("关于");
        return client.window.findChildren<AboutQuorvelDialog*>();
    };
    // The window's own dialog, one at a time: asked for again, the open one comes back.
    const QList<AboutQuorvelDialog*> first = about();
    QCOMPARE(first.size(), 1);
    QVERIFY(QTest::qWaitForWindowExposed(first.first()));
    QVERIFY(over(first.first()));
    QCOMPARE(about(), first);
    first.first()->close();
    QCOMPARE(about(), first);
    QVERIFY(QTest::qWaitForWindowExposed(first.first()));
    first.first()->close();
    client.trigger("设置");
    auto* settings = client.window.findChild<SettingDialog*>();
    QVERIFY(settings && QTest::qWaitForWindowExposed(settings));
    QVERIFY(over(settings));
    settings->close();
}

// Pictures of the window and of every dialog, for a person to look at after a run: in
// the build folder, under screenshots/scale1 or scale2 (the suite runs this function a
// second time with QT_SCALE_FACTOR=2).
void TestMainWindow::screenshots()
{
    pictures(QStringLiteral(QUORVEL_BUILD_DIR "/screenshots/scale%1").arg(qRound(qApp->devicePixelRatio())), false);
}

// The window and its dialogs under an English locale: no Chinese in what a person sees
// or a screen reader reads, besides the names the devices give (their folders "上传" and
// "接收" are the protocol's). Pictures under screenshots/en.
void TestMainWindow::englishWindowHasNoChinese()
{
    QVERIFY(AppLanguage::install(qApp, QLocale(QLocale::English, QLocale::UnitedStates)));
    pictures(QStringLiteral(QUORVEL_BUILD_DIR "/screenshots/en/scale%1").arg(qRound(qApp->devicePixelRatio())), true);
    QVERIFY(AppLanguage::install(qApp, QLocale(QLocale::Chinese, QLocale::China)));
}

void TestMainWindow::pictures(const QString& folder, bool english)
{
    // The names the test gives (devices, files) in the window's language.
    const auto name = [english](const char* chinese, const char* other) {
        return english ? QString(other) : QString::fromUtf8(chinese);
    };
    QVERIFY(QDir().mkpath(folder));
    {
        // Empty: no device yet.
        Client empty(m_folder->path());
        QVERIFY(QTest::qWaitForWindowExposed(&empty.window));
        QVERIFY(empty.window.grab().save(folder + "/mainwindow-empty.png"));
        if (english) {
            const QStringList chinese = chineseTexts(&empty.window);
            QVERIFY2(chinese.isEmpty(), qPrintable("mainwindow-empty: " + chinese.join(" | ")));
        }
    }
    std::unique_ptr<DeviceProcess> room(startDevice(m_folder->path(), "127.0.0.36", name("会议室 A", "Room A")));
    std::unique_ptr<DeviceProcess> pc(startDevice(m_folder->path(), "127.0.0.37", "PC-Lin", "client"));
    // Twenty files in the device's folder, one with a long name.
    QVERIFY(QDir(room->folder()).mkpath("Quorvel"));
    const QString longName
        = name("第三季度销售报告 final version ", "Third quarter sales report final version ").repeated(8).left(120)
        + ".pdf";
    const QString photo = name("照片-%1.jpg", "photo-%1.jpg");
    for (int i = 0; i < 19; ++i)
        QVERIFY(TestFiles::write(room->folder() + "/Quorvel/" + photo.arg(i), "x"));
    QVERIFY(TestFiles::write(room->folder() + "/Quorvel/" + longName, "x"));
    Client client(m_folder->path());
    QVERIFY(QTest::qWaitForWindowExposed(&client.window));
    const auto save = [&](QWidget* w, const QString& name) {
        QVERIFY2(w, qPrintable(name));
        const QPixmap shot = w->grab();
        QVERIFY(!shot.isNull());
        QCOMPARE(qRound(shot.devicePixelRatio()), qRound(qApp->devicePixelRatio()));
        QVERIFY(shot.save(folder + "/" + name + ".png"));
        if (english) {
            const QStringList chinese = chineseTexts(w);
            QVERIFY2(chinese.isEmpty(), qPrintable(name + ": " + chinese.join(" | ")));
        }
    };
    // A modal dialog runs its own loop: it is pictured from inside it, then closed.
    const auto saveModal = [&](const std::function<void()>& open, const QString& name) {
        atModal(open, [&](QWidget* dialog) {
            save(dialog, name);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
    };

    QTRY_COMPARE_WITH_TIMEOUT(client.comboTexts(), (QStringList{name("会议室 A", "Room A"), "PC-Lin"}), 10000);
    QTest::keyClick(client.find<QComboBox>("serverComboBox"), Qt::Key_Home);
    // The browser of a device the window chose itself follows in an event of its own.
    QTRY_VERIFY(client.window.findChild<FileListDialog*>());
    auto* browser = client.window.findChild<FileListDialog*>();
    QTRY_VERIFY_WITH_TIMEOUT(!browser->isLoading(), 10000);
    QTemporaryDir files;
    const QString report = files.filePath(name("季度报告.pdf", "report.pdf"));
    QVERIFY(TestFiles::write(report, QByteArray(300000, 'x')));
    QSignalSpy ended(client.context.transfers(), &TransferQueue::transferEnded);
    client.context.transfers()->send({report}, client.window.devices().first(), false);
    QVERIFY(ended.count() || ended.wait(15000));
    save(&client.window, "mainwindow");

    // Busy: the browser in the folder of twenty files, twenty transfers under way.
    auto* view = browser->findChild<FileListView*>();
    const QModelIndexList quorvel
        = view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, "Quorvel", 1, Qt::MatchExactly);
    QVERIFY(!quorvel.isEmpty());
    view->setCurrentIndex(quorvel.first());
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(browser->currentPath(), QString("/Quorvel"), 10000);
    QTRY_VERIFY(!browser->isLoading());
    auto* panel = client.find<ProgressDockWidget>("notifyWidget");
    const auto row = [&](int id, int type, int progress, const QString& file, const QString& reason = {}) {
        ProgressContent c;
        c.id = id;
        c.type = type;
        c.server = client.window.devices().first();
        c.progress = progress;
        c.nativePath = "/home/u/" + file;
        c.text = reason;
        c.bytes = (id % 100) << 20;
        c.totalBytes = 100 << 20;
        c.speed = 3 << 20;
        panel->uploadProgressUpdated(c);
    };
    for (int i = 0; i < 20; ++i)
        row(1000 + i, i % 3, i == 0 ? 101 : (i * 5) % 100, i == 19 ? longName : photo.arg(i));
    QTRY_COMPARE(panel->rowCount(), 21);
    // At the default size, with twenty rows: nothing scrolls sideways.
    QVERIFY(!panel->findChild<QListWidget*>("layoutWidget")->horizontalScrollBar()->isVisible());
    QVERIFY(!view->horizontalScrollBar()->isVisible());
    save(&client.window, "mainwindow-busy");
    save(panel, "panel-busy");

    // Failed: transfers that ended badly, and a device that no longer answers.
    row(2000, 0, -1, longName,
        name("设备 会议室 A (127.0.0.36) 在 5 秒内没有回答，已重试四次；请确认设备已开机，并与本机在同一网络中",
            "the device Room A (127.0.0.36) did not answer within 5 s, four times in a row; "
            "make sure it is on and in this network"));
    for (int i = 1; i < 3; ++i)
        row(2000 + i, i % 2, -1, name("报告-%1.docx", "report-%1.docx").arg(i),
            name("本机磁盘已满", "the disk is full"));
    QTRY_COMPARE(panel->rowCount(), 24);
    panel->findChild<QListWidget*>("layoutWidget")->scrollToTop();
    room->process().kill();
    QVERIFY(room->process().waitForFinished(3000));
    view->refreshList();
    QTRY_VERIFY_WITH_TIMEOUT(!browser->isLoading(), 10000);
    save(&client.window, "mainwindow-failed");
    save(panel, "panel-failed");
    save(browser, "browser-failed");
    room.reset(startDevice(m_folder->path(), "127.0.0.36", name("会议室 A", "Room A")));

    client.window.popupMenu()->popup(client.window.mapToGlobal(QPoint(600, 60)));
    QVERIFY(QTest::qWaitForWindowExposed(client.window.popupMenu()));
    save(client.window.popupMenu(), "popupmenu");
    client.window.popupMenu()->hide();
    QTest::keyClick(&client.window, Qt::Key_Comma, Qt::ControlModifier);
    auto* settings = client.window.findChild<SettingDialog*>();
    QVERIFY(settings && QTest::qWaitForWindowExposed(settings));
    save(settings, "settings");
    settings->close();
    const auto trigger = [&](const char* text) { client.trigger(QCoreApplication::translate("MainWindow", text)); };
    saveModal([&] { trigger("设置欢迎辞"); }, "welcometext");
    saveModal([&] { trigger("手动添加设备"); }, "manualdevices");
    trigger("关于");
    auto* about = client.window.findChild<AboutQuorvelDialog*>();
    QVERIFY(about && QTest::qWaitForWindowExposed(about));
    save(about, "about");
    about->close();
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
