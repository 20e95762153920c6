#include "platform/x11/X11DesktopSession.h"

#include <QKeySequence>

#include "platform/x11/QxtGlobalShortcut.h"

X11DesktopSession::X11DesktopSession(QObject* parent)
    : DesktopSession(parent)
    , m_shortcut(new QxtGlobalShortcut(this))
{
    connect(m_shortcut, &QxtGlobalShortcut::activated, this, &DesktopSession::castShortcutActivated);
}

X11DesktopSession::~X11DesktopSession() = default;

bool X11DesktopSession::registerCastShortcut(const QString& keyText, bool portableText)
{
    return m_shortcut->setShortcut(
        QKeySequence(keyText, portableText ? QKeySequence::PortableText : QKeySequence::NativeText));
}

void X11DesktopSession::unregisterCastShortcut()
{
    m_shortcut->setShortcut(QKeySequence());
}

void X11DesktopSession::setCastShortcutEnabled(bool enabled)
{
    m_shortcut->setEnabled(enabled);
}
