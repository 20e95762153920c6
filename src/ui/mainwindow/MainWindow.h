#pragma once

#include <QHash>
#include <QMainWindow>
#include <QPoint>
#include <QSystemTrayIcon>
#include <memory>
#include <vector>

#include "quorvel/protocol/ServerContent.h"
#include "ui/common/FileTypes.h"
#include "ui/mainwindow/WindowServices.h"

namespace Ui {
class MainWindow;
}
class AboutQuorvelDialog;
class DesktopNotifier;
class ProgressContent;
struct TaskOutcome;
class LogDialog;
class ManualDevicesManageDialog;
class RecentFilesDialog;
class QLabel;
class QMenu;
class QTimer;
class SettingDialog;
class TrayIconMenu;
class UploadSelection;

// The client's one window: the devices found, the chosen device's card, casting,
// transfers and files. It starts the listeners for inbound requests and follows the
// application's services; what it does with a device, the services do.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const WindowServices& services, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The devices in the combo box's order: devices first, then other clients.
    QList<ServerContent> devices() const;
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    TrayIconMenu* trayMenu() const { return m_trayMenu; }
    QMenu* popupMenu() const { return m_popupMenu; }
    DesktopNotifier* notifier() const { return m_notifier; }

public slots:
    // Shows the window and brings it to the front (start-up, a later start's request).
    void showUp();
    RecentFilesDialog* getRecentFileDlg() const { return m_recentFiles; }
    void notify(const QString& description);
    void startUploadFile(const QString& filePath = QString());
    // Files to several devices at once: picked, then the devices checked in a list.
    void startUploadToSeveral();
    void startUploadFiles(const QStringList& filePathList = QStringList());

private slots:
    void onActionSettingTriggered();
    void onActionAboutTriggered();
    void onServerDiscoveried(const ServerContent& content);
    void onServerDisappeared(const ServerContent& content);
    void onServerDiscoveryEnd(int count = -1);
    void getFileList(const ServerContent& server);
    void refreshServerList();
    void serverSelectChanged(int index, bool isUser = true);
    void settleChoice();
    void storeChoice(const QString& uuid);
    void onDeviceCheck();
    void tabClose(int index);
    void isSecureModelChanged(int state);
    void setPopupMenu();
    void showDebugDialog();
    void showOrHide(QSystemTrayIcon::ActivationReason reason = QSystemTrayIcon::Trigger);
    void setSalutatory();
    void startDiscoveryServer();
    void onManualAddDevices();
    void updateHistory();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildPopupMenu();
    void applyDeviceChanges();
    void addDevice(const ServerContent& content);
    void removeDevice(const ServerContent& content);
    void followRememberedChoice();
    // To the chosen device; with chooseTargets (and more than one device known), to the
    // devices checked in a list, each its own row in the transfer panel.
    void uploadFiles(const QStringList& paths, bool chooseTargets = false);
    // The walked selection, back on the window's thread.
    void sendSelection(const UploadSelection& selection, bool secure, bool chooseTargets);
    void resetTabs(bool freshHistory);
    void addRecentFilesTab();
    QWidget* addFileBrowser(const ServerContent& device, const QString& title);
    void enableDeviceActions();
    void onPortTaken(quint16 port, const QString& error);
    // With no device yet: what the client is doing, and what a person can do.
    void buildEmptyHint();
    void showEmptyHint();
    void runDoctor();
    // The window's sizes within the screen it is on (a 1080p screen at scale 2 is
    // 540 pixels high to the window).
    void fitToScreen();
    // What happened while the window was out of sight (hidden in the tray, minimised)
    // goes to the desktop's notifications.
    bool outOfSight() const;
    void notifyEnded(const ProgressContent& last, const TaskOutcome& outcome);

    Ui::MainWindow* ui;
    const WindowServices m_services;
    // The file icons of every browser and of the history.
    const FileTypes m_fileTypes;
    LogDialog* m_logDialog;
    SettingDialog* m_settingDialog;
    QSystemTrayIcon* m_tray;
    TrayIconMenu* m_trayMenu;
    DesktopNotifier* m_notifier;
    std::vector<std::unique_ptr<ServerContent>> m_devices;
    // Device id -> its file browser's page.
    QHash<QString, QWidget*> m_deviceTabs;
    RecentFilesDialog* m_recentFiles = nullptr;
    ManualDevicesManageDialog* m_manualDevices = nullptr;
    // Made when first asked for, then shown again.
    AboutQuorvelDialog* m_about = nullptr;
    QPoint m_dragLast;
    bool m_dragging = false;
    QMenu* m_popupMenu = nullptr;
    QList<QAction*> m_deviceActions;
    QLabel* m_portNotice = nullptr;
    QTimer* m_deviceCheck = nullptr;
    // Devices found or gone, not yet in the list: true for found.
    QList<std::pair<bool, ServerContent>> m_deviceChanges;
    QTimer* m_applyChanges = nullptr;
    QWidget* m_emptyHint = nullptr;
    QLabel* m_emptyText = nullptr;
    QObject* m_doctor = nullptr;
    // The device chosen last, as stored: kept here rather than read back from the
    // settings at every slice of a long list.
    QString m_lastChoice;
    bool m_choiceStored = false;
    // The window's own choice settling before its browser is built and it is written.
    QTimer* m_settleChoice = nullptr;
};
