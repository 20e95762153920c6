#include "ui/common/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSystemTrayIcon>

namespace {
const char* const Interface = "org.freedesktop.Notifications";
}

DesktopNotifier::DesktopNotifier(QSystemTrayIcon* tray, QObject* parent)
    : QObject(parent)
    , m_tray(tray)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(
            QString(), Path, Interface, QStringLiteral("ActionInvoked"), this, SLOT(onActionInvoked(uint, QString)));
        bus.connect(QString(), Path, Interface, QStringLiteral("NotificationClosed"), this, SLOT(onClosed(uint, uint)));
    }
    if (m_tray)
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, &DesktopNotifier::clicked);
}

void DesktopNotifier::notify(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return showInTray(summary, body);
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    // The default action is what a click on the notification's body does.
    call << QStringLiteral("Quorvel") << uint(0) << QStringLiteral("quorvel") << summary << body
         << QStringList{QStringLiteral("default"), tr("显示窗口")} << QVariantMap() << int(-1);
    // Asked without waiting: the bus answers at once when no server runs, and then the
    // tray says it.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, summary, body](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<uint> reply = *w;
        if (reply.isValid())
            m_open.insert(reply.value());
        else
            showInTray(summary, body);
        w->deleteLater();
    });
}

void DesktopNotifier::showInTray(const QString& summary, const QString& body)
{
    if (m_tray && m_tray->isVisible())
        m_tray->showMessage(summary, body, QSystemTrayIcon::Information);
}

void DesktopNotifier::onActionInvoked(uint id, const QString& action)
{
    Q_UNUSED(action);
    if (m_open.contains(id))
        emit clicked();
}

void DesktopNotifier::onClosed(uint id, uint reason)
{
    Q_UNUSED(reason);
    m_open.remove(id);
}
