#pragma once

#include <QProcessEnvironment>
#include <QString>

// Where a program keeps its files. A copy whose program folder it may write (a folder of
// its own, the build folder) keeps everything there; an installed one follows the XDG
// base directories of the user: settings in $XDG_CONFIG_HOME/quorvel, the database in
// $XDG_DATA_HOME/quorvel, logs in $XDG_STATE_HOME/quorvel/log. The socket and lock go to
// the user's own runtime folder either way (privateRuntimeFolder). Decided once by the
// front end and handed to whoever writes files.
class AppFolders {
public:
    // Everything in one folder (env: for the runtime folder).
    static AppFolders inFolder(
        const QString& folder, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    // The XDG folders of env (HOME and the XDG_* variables; a relative value is not a
    // folder to trust, so it is ignored).
    static AppFolders installed(const QProcessEnvironment& env);
    // In programFolder when programFolderIsOwn(), else installed().
    static AppFolders forProgram(
        const QString& programFolder, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    // True when the user may write the folder by its permission bits (root too: a
    // read-only copy stays read-only) and it is no system folder of programs.
    static bool programFolderIsOwn(const QString& programFolder);
    // The folder for the single-instance socket and lock: $XDG_RUNTIME_DIR when it is a
    // folder of this user's alone (no link, owned by the user, mode 0700), else
    // quorvel-runtime-UID in the temporary folder, made so; empty when neither can be had.
    // A folder others may enter would let another user's client answer for this one.
    static QString privateRuntimeFolder(const QProcessEnvironment& env);

    bool isInstalled() const { return m_installed; }
    QString configFile() const { return m_configFile; }
    QString dataFolder() const { return m_dataFolder; }
    QString logFolder() const { return m_logFolder; }
    // privateRuntimeFolder() of the environment the folders were decided by; made when
    // asked, so that a program that holds no lock makes nothing.
    QString runtimeFolder() const;
    // Where downloads go unless the settings say otherwise.
    QString defaultDownloadFolder() const { return m_downloadFolder; }

    // The same with another settings file (quorvelctl --config).
    AppFolders withConfigFile(const QString& file) const;

    // Makes the folders the program writes (owner-only, 0700, for the XDG ones); false with
    // the reason when one cannot be made.
    bool make(QString* error) const;

private:
    void setRuntimeEnvironment(const QProcessEnvironment& env);

    bool m_installed = false;
    bool m_ownConfigFolder = false; // made and kept owner-only by make()
    QString m_configFile;
    QString m_dataFolder;
    QString m_logFolder;
    QProcessEnvironment m_runtimeEnvironment; // XDG_RUNTIME_DIR alone
    QString m_downloadFolder;
};
