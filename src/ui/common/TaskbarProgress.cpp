#include "ui/common/TaskbarProgress.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QVariantMap>

TaskbarProgress::TaskbarProgress(QObject* parent)
    : QObject(parent)
{
}

void TaskbarProgress::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    publish();
}

void TaskbarProgress::setState(State state)
{
    if (m_state == state)
        return;
    m_state = state;
    if (m_visible)
        publish();
}

void TaskbarProgress::publish()
{
    // The launcher has no paused or error colours: a busy cast is a full bar, a paused one
    // half a bar, and a stopped one an empty bar that asks for attention.
    double progress = 1.0;
    if (m_state == State::Paused)
        progress = 0.5;
    else if (m_state == State::Stopped)
        progress = 0.0;
    QVariantMap properties;
    properties.insert(QStringLiteral("progress-visible"), m_visible);
    properties.insert(QStringLiteral("progress"), m_visible ? progress : 0.0);
    properties.insert(QStringLiteral("urgent"), m_visible && m_state == State::Stopped);
    QDBusMessage update = QDBusMessage::createSignal(
        QString::fromLatin1(ObjectPath), QStringLiteral("com.canonical.Unity.LauncherEntry"), QStringLiteral("Update"));
    update << QString::fromLatin1(AppUri) << properties;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected())
        bus.send(update);
}
