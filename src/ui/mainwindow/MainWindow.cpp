#include "ui/mainwindow/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabBar>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include "quorvel/discovery/DiscoveryDoctor.h"
#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/services/OfferInbox.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/tasks/Timing.h"
#include "quorvel/transfer/UploadSelection.h"
#include "settings/Config.h"
#include "ui/browser/FileListDialog.h"
#include "ui/cast/CastControllerWidget.h"
#include "ui/common/DesktopNotifier.h"
#include "ui/dialogs/AboutQuorvelDialog.h"
#include "ui/dialogs/LogDialog.h"
#include "ui/dialogs/ManualDevicesManageDialog.h"
#include "ui/dialogs/SalutatorySetting.h"
#include "ui/dialogs/SendTargetsDialog.h"
#include "ui/dialogs/SettingDialog.h"
#include "ui/history/RecentFilesDialog.h"
#include "ui/mainwindow/TrayIconMenu.h"
#include "ui/transfers/ProgressDockWidget.h"
#include "ui_MainWindow.h"

namespace {
const QString ServerType = QStringLiteral("server");
const QString ClientType = QStringLiteral("client");
} // namespace

MainWindow::MainWindow(const WindowServices& services, QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
    , m_services(services)
{
    // The debug window first: it takes over the log before anything below reports.
    m_logDialog = new LogDialog(services.logFolder, this);
    m_settingDialog = new SettingDialog(services.config, this);
    m_choiceStored = services.config->contains(Config::LastSelectedServerUUID);
    m_lastChoice = services.config->value(Config::LastSelectedServerUUID).toString();
    m_tray = new QSystemTrayIcon(this);

    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/drawable/ic_launcher.png")));
    ui->labelLogo->setPixmap(QPixmap(QStringLiteral(":/drawable/logo48.png")));
    ui->refreshPushButton->setIcon(QIcon(QStringLiteral(":/drawable/refresh.png")));
    ui->btn_menu->setIcon(QIcon(QStringLiteral(":/drawable/title_menu.png")));
    ui->btn_min->setIcon(QIcon(QStringLiteral(":/drawable/title_min.png")));
    ui->btn_max->setIcon(QIcon(QStringLiteral(":/drawable/title_max.png")));
    ui->btn_close->setIcon(QIcon(QStringLiteral(":/drawable/title_close.png")));

    Config* config = services.config;
    ui->isSecureModel->setCheckable(true);
    ui->isSecureModel->setChecked(config->value(Config::SecureMode).toBool());
    connect(ui->isSecureModel, &QCheckBox::stateChanged, this, &MainWindow::isSecureModelChanged);

    ui->fileListTabWidget->clear();
    ui->fileListTabWidget->setTabsClosable(false);
    ui->fileListTabWidget->tabBar()->setAccessibleName(tr("文件标签"));
    connect(ui->fileListTabWidget, &QTabWidget::tabCloseRequested, this, &MainWindow::tabClose);

    m_trayMenu = new TrayIconMenu(this);
    m_tray->setIcon(QIcon(QStringLiteral(":/drawable/tray_icon.png")));
    m_tray->setToolTip(windowTitle());
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, &MainWindow::showOrHide, Qt::UniqueConnection);
    connect(m_trayMenu->showHideAction(), &QAction::triggered, this, [this] { showOrHide(); });
    connect(m_trayMenu->quitAction(), &QAction::triggered, qApp, &QCoreApplication::quit);
    m_tray->show();
    m_notifier = new DesktopNotifier(m_tray, this);
    connect(m_notifier, &DesktopNotifier::clicked, this, &MainWindow::showUp);

    buildPopupMenu();

    connect(ui->btn_close, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btn_min, &QPushButton::clicked, this, &QWidget::showMinimized);
    connect(ui->btn_menu, &QPushButton::clicked, this, &MainWindow::setPopupMenu);
    connect(ui->refreshPushButton, &QPushButton::clicked, this, &MainWindow::refreshServerList);
    connect(ui->serverWidget, &ServerContentWidget::filePathDroped, this, [this](const QStringList& paths) {
        // Shift held at the drop: to several devices, checked in a list.
        if (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier)
            uploadFiles(paths, true);
        else
            startUploadFiles(paths);
    });
    connect(ui->serverWidget, &ServerContentWidget::fileList, this, &MainWindow::getFileList);
    // A person's choice; the window's own changes are made with the signals blocked.
    connect(ui->serverComboBox, qOverload<int>(&QComboBox::currentIndexChanged), this,
        [this](int index) { serverSelectChanged(index); });

    DiscoveryServer* discovery = services.discovery;
    connect(
        discovery, &DiscoveryServer::serverDiscoveried, this, &MainWindow::onServerDiscoveried, Qt::QueuedConnection);
    connect(
        discovery, &DiscoveryServer::serverDisappeared, this, &MainWindow::onServerDisappeared, Qt::QueuedConnection);
    connect(
        discovery, &DiscoveryServer::serverDiscoeryEnd, this, &MainWindow::onServerDiscoveryEnd, Qt::QueuedConnection);
    connect(services.actions, &DeviceActions::finished, this,
        [this](const DeviceActionResult& result) { notify(result.notice()); });
    // The history's file moved aside, a record that could not be written: said, not lost.
    if (QuorvelClientDatabase* db = services.database) {
        connect(db, &QuorvelClientDatabase::warning, this, &MainWindow::notify, Qt::QueuedConnection);
        if (!db->openWarning().isEmpty())
            QMetaObject::invokeMethod(
                this, [this, said = db->openWarning()] { notify(said); }, Qt::QueuedConnection);
    }

    // Every transfer the services run shows in the panel; files that other clients fetch
    // from this one too.
    ui->notifyWidget->follow(services.transfers);
    ui->notifyWidget->setDeviceActions(services.actions);
    ui->castControllerWidget->attach(services.cast, services.config);
    connect(services.requests, &OperateListener::servingProgress, ui->notifyWidget,
        &ProgressDockWidget::uploadProgressUpdated, Qt::QueuedConnection);

    startDiscoveryServer();

    // The history changes when a transfer ends, here or served to another client.
    // (The browsers' downloads are transfers of the queue too.)
    connect(services.transfers, &TransferQueue::transferEnded, this, &MainWindow::updateHistory);
    connect(services.transfers, &TransferQueue::transferEnded, this, &MainWindow::notifyEnded);
    if (OfferInbox* inbox = services.inbox) {
        connect(inbox, &OfferInbox::offered, this, [this](const OfferInbox::Offer& offer) {
            if (outOfSight())
                m_notifier->notify(tr("收到文件"),
                    tr("%1 发来了 %2")
                        .arg(TaskOutcome::who(offer.from), offer.remotePath.section(QLatin1Char('/'), -1)));
        });
    }
    connect(services.requests, &OperateListener::updateRecentFileList, this, &MainWindow::updateHistory,
        Qt::QueuedConnection);
    // Closable before the history's tab is added: it takes its own close button away.
    ui->fileListTabWidget->setTabsClosable(true);
    addRecentFilesTab();

    // Answering discovery and taking requests (offered files among them). A port that
    // another program holds is said in the status bar until the listener gets it.
    m_portNotice = new QLabel(this);
    m_portNotice->setObjectName(QStringLiteral("portNotice"));
    m_portNotice->hide();
    ui->statusBar->addPermanentWidget(m_portNotice);
    DiscoveryListener* discoveryListener = services.discoveryListener;
    connect(discoveryListener, &DiscoveryListener::bindFailed, this, &MainWindow::onPortTaken);
    connect(discoveryListener, &DiscoveryListener::listening, m_portNotice, &QWidget::hide);
    discoveryListener->start();
    connect(services.requests, &OperateListener::bindFailed, this, &MainWindow::onPortTaken);
    services.requests->start();

    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    ui->labelVersion->setText(tr("V") + QStringLiteral(QUORVEL_VERSION));
    ui->btn_max->hide();
    connect(ui->showDebugButton, &QPushButton::clicked, this, &MainWindow::showDebugDialog, Qt::UniqueConnection);
    // The button only carries the debug log's key sequence: out of the layout, where the
    // style's least button height would leave an empty strip under the panels.
    ui->centralLayout->removeWidget(ui->showDebugButton);
    ui->showDebugButton->setGeometry(0, 0, 0, 0);

    m_applyChanges = new QTimer(this);
    m_applyChanges->setSingleShot(true);
    m_applyChanges->setInterval(0);
    connect(m_applyChanges, &QTimer::timeout, this, &MainWindow::applyDeviceChanges);
    m_settleChoice = new QTimer(this);
    m_settleChoice->setSingleShot(true);
    m_settleChoice->setInterval(Timing::current().windowChoiceSettleMs);
    connect(m_settleChoice, &QTimer::timeout, this, &MainWindow::settleChoice);
    m_deviceCheck = new QTimer(this);
    m_deviceCheck->setInterval(Timing::current().windowDeviceCheckMs);
    connect(m_deviceCheck, &QTimer::timeout, this, &MainWindow::onDeviceCheck, Qt::UniqueConnection);
    m_deviceCheck->start();
    buildEmptyHint();
    enableDeviceActions();

    // Tab order as a person reads the window: the title bar, then the left column from
    // the top, then the files.
    const QList<QWidget*> order{ui->btn_menu, ui->btn_min, ui->btn_close, ui->serverComboBox, ui->refreshPushButton,
        ui->serverWidget, m_emptyHint->findChild<QPushButton*>(QStringLiteral("addDevice")),
        m_emptyHint->findChild<QPushButton*>(QStringLiteral("runDoctor")), ui->isSecureModel, ui->castControllerWidget,
        ui->notifyWidget, ui->fileListTabWidget};
    for (int i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    // Shift+F10 opens context menus as the Menu key does.
    qApp->installEventFilter(this);
    fitToScreen();
    qDebug("[I][%s] Client started, version %s.", "MainWindow", QUORVEL_VERSION);
}

MainWindow::~MainWindow()
{
    delete ui;
    ui = nullptr;
    m_tray->hide();
    delete m_tray;
    m_devices.clear();
    m_deviceTabs.clear();
    delete m_manualDevices;
}

QList<ServerContent> MainWindow::devices() const
{
    QList<ServerContent> list;
    for (const auto& device : m_devices)
        list.append(*device);
    return list;
}

void MainWindow::fitToScreen()
{
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QSize room = screen->availableGeometry().size();
    const QSize minimum = minimumSize().boundedTo(room);
    setMinimumSize(minimum);
    resize(size().boundedTo(room).expandedTo(minimum));
}

void MainWindow::buildEmptyHint()
{
    m_emptyHint = new QWidget(ui->sidePanel);
    m_emptyHint->setObjectName(QStringLiteral("emptyHint"));
    auto* layout = new QVBoxLayout(m_emptyHint);
    layout->setContentsMargins(0, 0, 0, 0);
    m_emptyText = new QLabel(m_emptyHint);
    m_emptyText->setObjectName(QStringLiteral("emptyText"));
    m_emptyText->setWordWrap(true);
    layout->addWidget(m_emptyText);
    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(tr("手动添加设备"), m_emptyHint);
    add->setObjectName(QStringLiteral("addDevice"));
    add->setAccessibleName(add->text());
    connect(add, &QPushButton::clicked, this, &MainWindow::onManualAddDevices);
    auto* doctor = new QPushButton(tr("检查网络"), m_emptyHint);
    doctor->setObjectName(QStringLiteral("runDoctor"));
    doctor->setAccessibleName(tr("检查网络：为什么找不到设备"));
    connect(doctor, &QPushButton::clicked, this, &MainWindow::runDoctor);
    buttons->addWidget(add);
    buttons->addWidget(doctor);
    buttons->addStretch();
    // Side by side where both fit the panel (their texts' widths differ by language),
    // else one above the other.
    if (add->sizeHint().width() + doctor->sizeHint().width() + 12 > ui->sidePanel->maximumWidth())
        buttons->setDirection(QBoxLayout::TopToBottom);
    layout->addLayout(buttons);
    auto* side = qobject_cast<QVBoxLayout*>(ui->sidePanel->layout());
    side->insertWidget(side->indexOf(ui->serverWidget), m_emptyHint);
    showEmptyHint();
}

void MainWindow::showEmptyHint()
{
    const bool empty = m_devices.empty();
    m_emptyHint->setVisible(empty);
    ui->serverWidget->setVisible(!empty);
    if (empty) {
        m_emptyText->setText(ui->refreshPushButton->isEnabled()
                ? tr("还没有找到Quorvel设备。每隔几秒会再找一次；也可以手动添加设备，或检查网络。")
                : tr("正在查找局域网中的Quorvel设备…"));
        m_emptyText->setAccessibleName(m_emptyText->text());
    }
}

void MainWindow::runDoctor()
{
    if (m_doctor)
        return;
    auto* doctor = new DiscoveryDoctor(m_services.discovery, Timing::current().windowDiscoveryFallbackMs, this);
    m_doctor = doctor;
    notify(tr("正在检查网络…"));
    connect(doctor, &DiscoveryDoctor::finished, this, [this, doctor](bool allOk) {
        QStringList lines;
        for (const DiscoveryDoctor::Finding& f : doctor->findings()) {
            QString line
                = (f.ok ? QStringLiteral("✓ ") : QStringLiteral("✗ ")) + f.check + QStringLiteral(": ") + f.detail;
            if (!f.advice.isEmpty())
                line += QStringLiteral(" (") + f.advice + QLatin1Char(')');
            lines.append(line);
        }
        auto* box = new QMessageBox(allOk ? QMessageBox::Information : QMessageBox::Warning, tr("网络检查"),
            allOk ? tr("没有发现问题。") : tr("发现了可能让设备找不到的问题。"), QMessageBox::Ok, this);
        box->setInformativeText(lines.join(QLatin1Char('\n')));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        doctor->deleteLater();
        m_doctor = nullptr;
    });
    doctor->start();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        QWidget* focus = QApplication::focusWidget();
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier && focus && watched == focus
            && !QApplication::activePopupWidget()) {
            const QPoint at = focus->rect().center();
            QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, focus->mapToGlobal(at));
            QApplication::sendEvent(focus, &menu);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::notify(const QString& description)
{
    ui->statusBar->showMessage(description, Timing::current().windowNoticeMs);
}

void MainWindow::onPortTaken(quint16 port, const QString& error)
{
    m_portNotice->setText(tr("端口 %1 被占用 (%2)，稍后重试").arg(port).arg(error));
    m_portNotice->show();
}

// Menus and actions

void MainWindow::buildPopupMenu()
{
    m_popupMenu = new QMenu(this);
    QFont font = m_popupMenu->font();
    font.setPointSize(14);
    font.setFamily(tr("微软雅黑"));
    m_popupMenu->setFont(font);
    const auto add = [this](const QString& text, const QKeySequence& shortcut, auto slot) {
        QAction* action = m_popupMenu->addAction(text);
        action->setShortcut(shortcut);
        // Also on the window, so that the shortcut works while the menu is closed.
        addAction(action);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(tr("刷新"), QKeySequence(Qt::Key_F5), [this] { startDiscoveryServer(); });
    add(tr("手动添加设备"), QKeySequence(), [this] { onManualAddDevices(); });
    m_popupMenu->addSeparator();
    m_deviceActions.append(add(tr("上传文件"), QKeySequence(Qt::CTRL | Qt::Key_O), [this] { startUploadFile(); }));
    m_deviceActions.append(
        add(tr("上传多个文件"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), [this] { startUploadFiles(); }));
    m_deviceActions.append(
        add(tr("发送到多个设备"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M), [this] { startUploadToSeveral(); }));
    m_popupMenu->addSeparator();
    m_deviceActions.append(add(tr("设置欢迎辞"), QKeySequence(), [this] { setSalutatory(); }));
    m_popupMenu->addSeparator();
    add(tr("设置"), QKeySequence(Qt::CTRL | Qt::Key_Comma), [this] { onActionSettingTriggered(); });
    add(tr("关于"), QKeySequence(), [this] { onActionAboutTriggered(); });
    m_popupMenu->addSeparator();
    add(tr("退出"), QKeySequence(Qt::CTRL | Qt::Key_Q), [] { QCoreApplication::quit(); });
}

void MainWindow::setPopupMenu()
{
    // At the pointer when the button was clicked; under the button when it was pressed
    // from the keyboard and the pointer is elsewhere.
    QPoint at = QCursor::pos();
    const QRect button(ui->btn_menu->mapToGlobal(QPoint(0, 0)), ui->btn_menu->size());
    if (!button.contains(at))
        at = button.bottomLeft();
    m_popupMenu->popup(at);
}

void MainWindow::enableDeviceActions()
{
    if (m_emptyHint)
        showEmptyHint();
    // Without a device, sending and the welcome text have nowhere to go.
    for (QAction* action : qAsConst(m_deviceActions))
        action->setEnabled(!m_devices.empty());
}

void MainWindow::onActionSettingTriggered()
{
    m_settingDialog->show();
    m_settingDialog->raise();
    m_settingDialog->activateWindow();
}

void MainWindow::onActionAboutTriggered()
{
    // One dialog at a time, shown over the window rather than mid-screen.
    if (!m_about)
        m_about = new AboutQuorvelDialog(this);
    if (!m_about->isVisible() && isVisible()) {
        m_about->adjustSize();
        m_about->move(frameGeometry().center() - m_about->rect().center());
    }
    m_about->show();
    m_about->raise();
}

void MainWindow::setSalutatory()
{
    if (m_devices.empty())
        return;
    SalutatorySetting dialog(ui->serverWidget->server(), *m_services.actions, this);
    dialog.exec();
}

void MainWindow::onManualAddDevices()
{
    if (!m_manualDevices)
        m_manualDevices = new ManualDevicesManageDialog(m_services.database, this);
    m_manualDevices->exec();
}

void MainWindow::showDebugDialog()
{
    m_logDialog->setVisible(!m_logDialog->isVisible());
}

void MainWindow::showOrHide(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return;
    if (!isHidden())
        hide();
    else
        show();
}

// Devices

void MainWindow::startDiscoveryServer()
{
    ui->refreshPushButton->setEnabled(false);
    if (m_emptyHint)
        showEmptyHint();
    if (m_services.discovery->startDiscovery())
        ui->statusBar->showMessage(tr("开始扫描服务器!"));
    QTimer::singleShot(Timing::current().windowDiscoveryFallbackMs, this, [this] { onServerDiscoveryEnd(); });
}

void MainWindow::refreshServerList()
{
    startDiscoveryServer();
}

void MainWindow::onServerDiscoveryEnd(int count)
{
    ui->refreshPushButton->setEnabled(true);
    if (m_emptyHint)
        showEmptyHint();
    if (count != -1)
        ui->statusBar->showMessage(tr("查找结束,总共找到 %1 个设备.").arg(count));
}

void MainWindow::onServerDiscoveried(const ServerContent& content)
{
    m_deviceChanges.append({true, content});
    if (!m_applyChanges->isActive())
        m_applyChanges->start();
}

void MainWindow::onServerDisappeared(const ServerContent& content)
{
    m_deviceChanges.append({false, content});
    if (!m_applyChanges->isActive())
        m_applyChanges->start();
}

void MainWindow::applyDeviceChanges()
{
    // Hundreds of devices can answer one pass at once: they go into the list a few
    // milliseconds' worth at a time, so the window never stalls on them.
    QElapsedTimer slice;
    slice.start();
    const QSignalBlocker quiet(ui->serverComboBox);
    while (!m_deviceChanges.isEmpty() && slice.elapsed() < 4) {
        const auto [added, content] = m_deviceChanges.takeFirst();
        if (added)
            addDevice(content);
        else
            removeDevice(content);
    }
    if (!m_deviceChanges.isEmpty())
        m_applyChanges->start();
    followRememberedChoice();
}

void MainWindow::addDevice(const ServerContent& content)
{
    ui->statusBar->showMessage(tr("找到服务器\"") + content.name + tr("\""));
    // Devices before other clients, each group in the order found.
    auto at = m_devices.end();
    if (content.type == ServerType)
        at = std::find_if(m_devices.begin(), m_devices.end(),
            [](const std::unique_ptr<ServerContent>& d) { return d->type != ServerType; });
    const int index = int(at - m_devices.begin());
    m_devices.insert(at, std::make_unique<ServerContent>(content));
    m_services.discoveryListener->setKnownHost(content.address.toString(), content);
    ui->serverComboBox->insertItem(index, content.name);
    ui->serverComboBox->setItemData(index,
        QStringLiteral("%1 (%2)").arg(
            content.type == ClientType ? tr("客户端") : tr("Quorvel设备"), content.address.toString()),
        Qt::ToolTipRole);
}

void MainWindow::removeDevice(const ServerContent& content)
{
    ui->statusBar->showMessage(tr("服务器\"") + content.name + tr("\"下线"));
    for (size_t i = m_devices.size(); i-- > 0;) {
        if (*m_devices[i] == content) {
            m_devices.erase(m_devices.begin() + long(i));
            ui->serverComboBox->removeItem(int(i));
        }
    }
}

void MainWindow::followRememberedChoice()
{
    enableDeviceActions();
    if (m_devices.empty()) {
        serverSelectChanged(-1, false);
        return;
    }
    // The device chosen last, or the first one; nothing is stored for this choice.
    const QString remembered = m_lastChoice;
    int selected = 0;
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i]->uuid == remembered) {
            selected = int(i);
            break;
        }
    }
    {
        const QSignalBlocker quiet(ui->serverComboBox);
        ui->serverComboBox->setCurrentIndex(selected);
    }
    // Shown already: the card, the history and the browser stay as they are.
    if (ui->serverWidget->server() == *m_devices[size_t(selected)] && !ui->serverWidget->server().uuid.isEmpty())
        return;
    serverSelectChanged(selected, false);
}

void MainWindow::serverSelectChanged(int index, bool isUser)
{
    if (index < 0 || size_t(index) >= m_devices.size()) {
        resetTabs(true);
        ui->castControllerWidget->setServerContent(nullptr);
        ui->serverWidget->setServer(ServerContent());
        return;
    }
    const ServerContent& device = *m_devices[size_t(index)];
    if (isUser) {
        m_settleChoice->stop();
        storeChoice(device.uuid);
    }
    ui->serverWidget->setServer(device);
    m_recentFiles->setServerContent(device);
    ui->castControllerWidget->setServerContent(m_devices[size_t(index)].get());
    if (QWidget* tab = m_deviceTabs.value(device.uuid)) {
        ui->fileListTabWidget->setCurrentWidget(tab);
        return;
    }
    resetTabs(false);
    // Another client has no files to browse.
    if (device.type == ClientType)
        return;
    if (isUser) {
        ui->fileListTabWidget->setCurrentWidget(addFileBrowser(device, device.name.left(50)));
        return;
    }
    // Chosen by the window while devices come in: the browser (the heaviest widget to
    // build) follows once the choice has held, so that the list keeps filling meanwhile
    // and no browser is built for a device that the remembered one then replaces.
    m_settleChoice->start();
}

void MainWindow::settleChoice()
{
    const ServerContent shown = ui->serverWidget->server();
    if (shown.uuid.isEmpty())
        return;
    if (shown.type != ClientType && !m_deviceTabs.contains(shown.uuid))
        ui->fileListTabWidget->setCurrentWidget(addFileBrowser(shown, shown.name.left(50)));
    // Written in an event of its own: the file is synced to disk, which can take as long
    // as building the browser.
    if (!m_choiceStored)
        QTimer::singleShot(0, this, [this, uuid = shown.uuid] {
            if (!m_choiceStored && ui->serverWidget->server().uuid == uuid)
                storeChoice(uuid);
        });
}

void MainWindow::storeChoice(const QString& uuid)
{
    m_services.config->setValue(Config::LastSelectedServerUUID, uuid);
    m_choiceStored = true;
    m_lastChoice = uuid;
}

QWidget* MainWindow::addFileBrowser(const ServerContent& device, const QString& title)
{
    // Its downloads are the queue's transfers, which the panel and the history follow.
    auto* browser = new FileListDialog(
        device, *m_services.transfers, *m_services.actions, *m_services.config, m_services.database, m_fileTypes);
    ui->fileListTabWidget->addTab(browser, title);
    ui->fileListTabWidget->setTabToolTip(ui->fileListTabWidget->indexOf(browser), device.name);
    m_deviceTabs.insert(device.uuid, browser);
    return browser;
}

void MainWindow::updateHistory()
{
    m_recentFiles->updateList();
}

void MainWindow::resetTabs(bool freshHistory)
{
    // Browsers of devices no longer shown go; with no device at all, so does the history
    // of the last one. They go after the window has painted what replaces them: both in
    // one turn of the event loop would hold it up for their sum.
    for (QWidget* page : qAsConst(m_deviceTabs))
        QTimer::singleShot(0, page, &QObject::deleteLater);
    m_deviceTabs.clear();
    ui->fileListTabWidget->clear();
    if (freshHistory && m_recentFiles) {
        m_recentFiles->deleteLater();
        m_recentFiles = nullptr;
    }
    addRecentFilesTab();
}

void MainWindow::addRecentFilesTab()
{
    if (!m_recentFiles)
        m_recentFiles = new RecentFilesDialog(m_services.database, *m_services.actions, m_fileTypes);
    const int index = ui->fileListTabWidget->addTab(m_recentFiles, tr("最近文件"));
    // The history stays: its tab has no close button.
    QTabBar* bar = ui->fileListTabWidget->tabBar();
    for (auto side : {QTabBar::LeftSide, QTabBar::RightSide}) {
        if (QWidget* button = bar->tabButton(index, side)) {
            bar->setTabButton(index, side, nullptr);
            button->deleteLater();
        }
    }
}

void MainWindow::getFileList(const ServerContent& server)
{
    QWidget* tab = m_deviceTabs.value(server.uuid);
    if (!tab)
        tab = addFileBrowser(server, server.name);
    ui->fileListTabWidget->setCurrentWidget(tab);
}

void MainWindow::tabClose(int index)
{
    QWidget* page = ui->fileListTabWidget->widget(index);
    if (!page || page == m_recentFiles)
        return;
    for (auto it = m_deviceTabs.begin(); it != m_deviceTabs.end(); ++it) {
        if (it.value() == page) {
            m_deviceTabs.erase(it);
            break;
        }
    }
    ui->fileListTabWidget->removeTab(index);
    page->deleteLater();
}

void MainWindow::onDeviceCheck()
{
    if (m_devices.empty() || ui->serverWidget->server().uuid != m_lastChoice)
        startDiscoveryServer();
}

// Sending

void MainWindow::isSecureModelChanged(int state)
{
    if (state != Qt::Unchecked && state != Qt::Checked)
        return;
    if (!m_services.config->setValue(Config::SecureMode, state == Qt::Checked))
        notify(m_services.config->lastError());
}

void MainWindow::startUploadFile(const QString& filePath)
{
    if (m_devices.empty())
        return;
    const QString path
        = filePath.isEmpty() ? QFileDialog::getOpenFileName(this, tr("选择要上传到Quorvel的文件.")) : filePath;
    if (!path.isEmpty())
        uploadFiles({path});
}

void MainWindow::startUploadFiles(const QStringList& filePathList)
{
    if (m_devices.empty())
        return;
    QStringList paths = filePathList;
    if (paths.isEmpty())
        paths = QFileDialog::getOpenFileNames(this, tr("选择要上传到Quorvel的一个到多个文件."));
    if (paths.isEmpty())
        return;
    for (QString& path : paths)
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    uploadFiles(paths);
}

void MainWindow::startUploadToSeveral()
{
    if (m_devices.empty())
        return;
    QStringList paths = QFileDialog::getOpenFileNames(this, tr("选择要上传到Quorvel的一个到多个文件."));
    for (QString& path : paths)
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!paths.isEmpty())
        uploadFiles(paths, true);
}

void MainWindow::uploadFiles(const QStringList& paths, bool chooseTargets)
{
    const bool secure = m_services.config->value(Config::SecureMode).toBool();
    // A dropped folder may hold thousands of files: it is walked off the window's thread.
    // The walk stops at the per-folder limit, so quitting does not wait long for it.
    QPointer<MainWindow> self(this);
    m_services.pool->start([self, paths, secure, chooseTargets] {
        const UploadSelection selection = UploadSelection::collect(paths);
        QMetaObject::invokeMethod(
            qApp,
            [self, selection, secure, chooseTargets] {
                if (self)
                    self->sendSelection(selection, secure, chooseTargets);
            },
            Qt::QueuedConnection);
    });
}

void MainWindow::sendSelection(const UploadSelection& selection, bool secure, bool chooseTargets)
{
    if (!selection.problems.isEmpty()) {
        auto* box = new QMessageBox(QMessageBox::Warning, tr("提示"),
            selection.files.isEmpty() ? tr("没有可以上传的文件。") : tr("部分文件没有上传。"), QMessageBox::Ok, this);
        box->setInformativeText(selection.problems.join(QLatin1Char('\n')));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
    if (selection.files.isEmpty())
        return;
    const QList<ServerContent> known = devices();
    if (chooseTargets && known.size() > 1) {
        auto* dialog = new SendTargetsDialog(known, ui->serverWidget->server(), this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &QDialog::accepted, this, [this, dialog, files = selection.files, secure] {
            // Each device its own transfers: one failing does not stop the others.
            for (const ServerContent& target : dialog->checked())
                m_services.transfers->send(files, target, secure);
        });
        dialog->open();
        return;
    }
    m_services.transfers->send(selection.files, ui->serverWidget->server(), secure);
}

// The frameless window

void MainWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->pos().y() < ui->main_info->height() - 6) {
        m_dragLast = event->globalPos();
        m_dragging = true;
    }
    QMainWindow::mousePressEvent(event);
}

void MainWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging) {
        move(pos() + event->globalPos() - m_dragLast);
        m_dragLast = event->globalPos();
    }
    QMainWindow::mouseMoveEvent(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
    QMainWindow::mouseReleaseEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // The client goes on in the background; it ends from the menus only. Without a tray
    // to come back from, the window is minimised instead of hidden.
    event->ignore();
    if (QSystemTrayIcon::isSystemTrayAvailable() && m_tray->isVisible())
        hide();
    else
        showMinimized();
}

void MainWindow::showUp()
{
    // Also a request from a later start: the window comes to the front; a minimised one
    // stays minimised.
    show();
    raise();
    activateWindow();
    qDebug("[I][%s] Window shown.", "MainWindow");
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    activateWindow();
}

bool MainWindow::outOfSight() const
{
    return !isVisible() || isMinimized();
}

void MainWindow::notifyEnded(const ProgressContent& last, const TaskOutcome& outcome)
{
    if (!outOfSight() || outcome.stopped)
        return;
    const QString name = QFileInfo(last.nativePath).fileName();
    if (outcome.ok)
        m_notifier->notify(tr("传输完成"), name);
    else
        m_notifier->notify(tr("传输失败"), tr("%1: %2").arg(name, outcome.text()));
}
