#pragma once

#include "platform/DesktopSession.h"

class QxtGlobalShortcut;

// The desktop session on X11: the cast shortcut is a key grab on the root window.
class X11DesktopSession : public DesktopSession {
    Q_OBJECT
public:
    explicit X11DesktopSession(QObject* parent = nullptr);
    ~X11DesktopSession() override;

    bool registerCastShortcut(const QString& keyText, bool portableText) override;
    void unregisterCastShortcut() override;
    void setCastShortcutEnabled(bool enabled) override;

private:
    QxtGlobalShortcut* m_shortcut;
};
