#pragma once

#include <QObject>

// What the client needs from the user's desktop session: the global cast shortcut.
// The core calls this; a desktop library implements it (the X11 key grab), so that
// programs without a window link no display libraries.
class DesktopSession : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DesktopSession() override;

    // Makes keyText the global cast shortcut, replacing the previous one. portableText
    // reads the text in the portable key-sequence format, otherwise in the native one.
    // False when the key cannot be had (another program holds it, no display); the
    // previous shortcut is then released.
    virtual bool registerCastShortcut(const QString& keyText, bool portableText) = 0;
    virtual void unregisterCastShortcut() = 0;
    // A disabled shortcut stays registered but does not fire.
    virtual void setCastShortcutEnabled(bool enabled) = 0;

signals:
    void castShortcutActivated();
};
