#pragma once

#include <QAbstractNativeEventFilter>
#include <QKeySequence>
#include <QObject>

// A system-wide key shortcut on X11: the key is grabbed on the root window (with the
// NumLock and CapsLock variants), and a native event filter fires activated(). A grab
// that the X server refuses because another client holds the key is a failure; without
// an X display every registration fails.
class QxtGlobalShortcut : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit QxtGlobalShortcut(QObject* parent = nullptr);
    ~QxtGlobalShortcut() override;

    QKeySequence shortcut() const { return m_shortcut; }
    // Replaces the registered shortcut. False when the key cannot be grabbed; the
    // previous one is then released.
    bool setShortcut(const QKeySequence& shortcut);

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled = true) { m_enabled = enabled; }
    void setDisabled(bool disabled = true) { m_enabled = !disabled; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, long* result) override;

signals:
    void activated();

private:
    void unregister();

    QKeySequence m_shortcut;
    bool m_enabled = true;
    bool m_registered = false;
    quint8 m_keycode = 0;
    quint16 m_modifiers = 0;
};
