#pragma once

#include <QObject>
#include <QSet>

class QSystemTrayIcon;

// Desktop notifications for what happens while the window is out of sight: through the
// session's notification server (org.freedesktop.Notifications), or the tray's own
// message where none runs. A click on one emits clicked().
class DesktopNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr const char* Service = "org.freedesktop.Notifications";
    static constexpr const char* Path = "/org/freedesktop/Notifications";

    explicit DesktopNotifier(QSystemTrayIcon* tray, QObject* parent = nullptr);

    void notify(const QString& summary, const QString& body);

signals:
    void clicked();

private slots:
    void onActionInvoked(uint id, const QString& action);
    void onClosed(uint id, uint reason);

private:
    void showInTray(const QString& summary, const QString& body);

    QSystemTrayIcon* m_tray;
    // The server's numbers of the notifications still open.
    QSet<uint> m_open;
};
