#pragma once

#include <QMutex>
#include <QObject>
#include <QVariant>

class QSettings;
class QxtGlobalShortcut;

// The client's settings in "config.ini" (relative to the application folder), the
// start-with-the-session entry and the global cast shortcut.
class Config : public QObject {
    Q_OBJECT
public:
    enum ConfigType {
        ClientName = 0,
        SecureMode = 1,
        DownloadPath = 2,
        ConfirmCast = 3,
        LastSelectedServerUUID = 4,
        StartUp = 5,
        CastShortcut = 6,
    };

    // Name of the autostart entry, and the option the entry starts the client with.
    static const QString RunEntryName;
    static const QString RunEntryArguments;

    static Config* instance();

    // The window turns this on before the first instance(): only it owns the autostart
    // entry and the global shortcut. Headless programs leave it off.
    static void setSessionIntegration(bool enabled);
    static bool sessionIntegration();

    QVariant value(int type) const;
    bool setValue(int type, const QVariant& value);
    bool contains(int type) const;

    QString castPassword(const QString& uuid) const;
    bool setCastPassword(const QString& uuid, const QString& password);

    bool setCastShortcutEnabled(bool enabled);
    bool isCastShortcutRegistered() const;

    static QString keyOf(int type);
    static QVariant defaultOf(int type);

    // Test seam: drops the singleton so that the next instance() reads the file afresh.
    static void resetForTests();

signals:
    void valueChanged(int type, QVariant newValue, QVariant oldValue);
    void castShortcutActivated();

private:
    Config();
    ~Config() override;

    bool applyStartUp(bool enabled);
    bool registerShortcut(const QString& text, bool portableFormat);

    mutable QMutex m_storeLock;
    QSettings* m_settings = nullptr;
    QxtGlobalShortcut* m_shortcut = nullptr;
    bool m_shortcutRegistered = false;
    bool m_sessionIntegration = false;
};
