#pragma once

#include <QMutex>
#include <QObject>
#include <QVariant>

#include "quorvel/storage/ClientSettings.h"

class AppFolders;
class DesktopSession;
class UserInteraction;
class QSettings;

// The client's settings in "config.ini" (where AppFolders says: the program's folder, or
// $XDG_CONFIG_HOME/quorvel once installed), the start-with-the-session entry and the
// global cast shortcut. Every write reaches the disk before it returns. The application
// context creates the one instance.
class Config : public QObject, public ClientSettings {
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

    // Settings of the given folder. With a desktop session (the window), the autostart
    // entry follows StartUp and CastShortcut is registered with the session; headless
    // programs pass none and leave the session alone. user hears of a shortcut that
    // could not be registered (the fallback logs it).
    explicit Config(const QString& applicationFolder, DesktopSession* session = nullptr,
        UserInteraction* user = nullptr, QObject* parent = nullptr);
    // The settings file and the default download folder the folders name.
    explicit Config(const AppFolders& folders, DesktopSession* session = nullptr, UserInteraction* user = nullptr,
        QObject* parent = nullptr);
    ~Config() override;

    QString filePath() const { return m_path; }

    QVariant value(int type) const;
    // False, with lastError() saying why, when the value is refused or cannot be stored;
    // nothing changes then.
    bool setValue(int type, const QVariant& value);
    bool contains(int type) const;
    // Forgets a stored value: the default applies again.
    bool unset(int type);

    // What the core reads, from the values above.
    QString clientName() const override;
    bool secureMode() const override;
    QString downloadFolder() const override;
    bool confirmCast() const override;
    QString castPassword(const QString& uuid) const override;
    bool setCastPassword(const QString& uuid, const QString& password) override;

    bool setCastShortcutEnabled(bool enabled);
    bool isCastShortcutRegistered() const;

    // Why the last failed write failed, for a person ("cannot write /a/config.ini:
    // permission denied"); empty after a write that worked.
    QString lastError() const;

    static QString keyOf(int type);
    // The default for a setting, of its type; DownloadPath's in the program's folder.
    static QVariant defaultOf(int type);
    // The default for a setting of these settings (DownloadPath's in their folders).
    QVariant defaultFor(int type) const;

signals:
    void valueChanged(int type, QVariant newValue, QVariant oldValue);
    void castShortcutActivated();

private:
    bool applyStartUp(bool enabled);
    // Stores key = value and writes the file; on failure the store is read back from
    // the file, so that memory and disk agree. m_storeLock is held.
    bool store(const QString& key, const QVariant& value);
    QString writeFailure() const;
    void fail(const QString& reason);

    const QString m_path;
    const QString m_folder; // the settings file's
    const QString m_downloadFolder; // DownloadPath's default
    DesktopSession* m_session;
    mutable QMutex m_storeLock;
    QSettings* m_settings = nullptr;
    mutable QMutex m_errorLock;
    QString m_lastError;
    bool m_shortcutRegistered = false;
};
