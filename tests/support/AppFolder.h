#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

// An application folder "app" with the current directory in "elsewhere" beside it, so
// that a file that lands in the current directory instead of the folder shows. The
// folder may be made read-only; it is made writable again before it goes.
class AppFolder {
public:
    AppFolder()
    {
        m_ok = m_dir.isValid() && QDir(m_dir.path()).mkdir("app") && QDir(m_dir.path()).mkdir("elsewhere")
            && QDir::setCurrent(m_dir.path() + "/elsewhere");
    }
    ~AppFolder() { QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); }
    AppFolder(const AppFolder&) = delete;
    AppFolder& operator=(const AppFolder&) = delete;

    bool isValid() const { return m_ok; }
    // The application folder, and the temporary folder that holds it.
    QString path() const { return m_dir.path() + "/app"; }
    QString root() const { return m_dir.path(); }
    bool makeReadOnly() const { return QFile::setPermissions(path(), QFile::ReadOwner | QFile::ExeOwner); }

    // A file's permission bits (0600), -1 when it is missing.
    static int modeOf(const QString& file)
    {
        struct stat st { };
        return ::stat(QFile::encodeName(file).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
    }

private:
    QTemporaryDir m_dir;
    bool m_ok = false;
};
