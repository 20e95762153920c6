#include "platform/AppFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTextStream>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
const QString Own = QStringLiteral("quorvel");

// An XDG variable's value when it is an absolute path, else HOME + fallback.
QString base(const QProcessEnvironment& env, const char* name, const QString& fallback)
{
    const QString value = env.value(QString::fromLatin1(name));
    if (QDir::isAbsolutePath(value))
        return QDir::cleanPath(value);
    return QDir::cleanPath(env.value(QStringLiteral("HOME"), QDir::homePath()) + QLatin1Char('/') + fallback);
}

// What `xdg-user-dir DOWNLOAD` says: XDG_DOWNLOAD_DIR of user-dirs.dirs, "$HOME/..."
// or absolute; empty when the file does not name one.
QString userDownloadDir(const QString& configHome, const QString& home)
{
    QFile file(configHome + QStringLiteral("/user-dirs.dirs"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QTextStream in(&file);
    QString found;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (!line.startsWith(QLatin1String("XDG_DOWNLOAD_DIR=")))
            continue;
        QString value = line.mid(int(strlen("XDG_DOWNLOAD_DIR=")));
        if (value.size() < 2 || !value.startsWith(QLatin1Char('"')) || !value.endsWith(QLatin1Char('"')))
            continue;
        value = value.mid(1, value.size() - 2);
        value.replace(QLatin1String("\\\""), QLatin1String("\"")).replace(QLatin1String("\\\\"), QLatin1String("\\"));
        if (value == QLatin1String("$HOME") || value.startsWith(QLatin1String("$HOME/")))
            value = home + value.mid(5);
        if (QDir::isAbsolutePath(value))
            found = QDir::cleanPath(value); // the last line wins, as in the shell
    }
    return found;
}

bool makeOwnerOnly(const QString& folder, QString* error)
{
    // Parents too (~/.local/state may not exist yet), each for its owner alone when made here.
    const QStringList parts = QDir::cleanPath(folder).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString path;
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        const QByteArray name = QFile::encodeName(path);
        if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
            *error = QStringLiteral("cannot make %1: %2").arg(path, QString::fromLocal8Bit(strerror(errno)));
            return false;
        }
    }
    if (!QFileInfo(folder).isDir()) {
        *error = QStringLiteral("cannot make %1: a file is in the way").arg(folder);
        return false;
    }
    // One made by an older version may be open to others: the files in it are the user's.
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    return true;
}
} // namespace

AppFolders AppFolders::inFolder(const QString& folder, const QProcessEnvironment& env)
{
    const QString f = QDir::cleanPath(QDir(folder).absolutePath());
    AppFolders a;
    a.m_installed = false;
    a.m_configFile = f + QStringLiteral("/config.ini");
    a.m_dataFolder = f;
    a.m_logFolder = f + QStringLiteral("/log");
    a.setRuntimeEnvironment(env);
    a.m_downloadFolder = f + QStringLiteral("/Download/");
    return a;
}

AppFolders AppFolders::installed(const QProcessEnvironment& env)
{
    const QString home = QDir::cleanPath(env.value(QStringLiteral("HOME"), QDir::homePath()));
    const QString config = base(env, "XDG_CONFIG_HOME", QStringLiteral(".config"));
    AppFolders a;
    a.m_installed = true;
    a.m_ownConfigFolder = true;
    a.m_configFile = config + QLatin1Char('/') + Own + QStringLiteral("/config.ini");
    a.m_dataFolder = base(env, "XDG_DATA_HOME", QStringLiteral(".local/share")) + QLatin1Char('/') + Own;
    a.m_logFolder
        = base(env, "XDG_STATE_HOME", QStringLiteral(".local/state")) + QLatin1Char('/') + Own + QStringLiteral("/log");
    a.setRuntimeEnvironment(env);
    const QString download = userDownloadDir(config, home);
    a.m_downloadFolder = download.isEmpty() ? home + QStringLiteral("/Downloads") : download;
    return a;
}

AppFolders AppFolders::forProgram(const QString& programFolder, const QProcessEnvironment& env)
{
    return programFolderIsOwn(programFolder) ? inFolder(programFolder, env) : installed(env);
}

namespace {
bool isPrivateFolder(const QByteArray& path)
{
    struct stat info { };
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 0077) == 0;
}
} // namespace

void AppFolders::setRuntimeEnvironment(const QProcessEnvironment& env)
{
    m_runtimeEnvironment = QProcessEnvironment();
    if (env.contains(QStringLiteral("XDG_RUNTIME_DIR")))
        m_runtimeEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), env.value(QStringLiteral("XDG_RUNTIME_DIR")));
}

QString AppFolders::runtimeFolder() const
{
    return privateRuntimeFolder(m_runtimeEnvironment);
}

QString AppFolders::privateRuntimeFolder(const QProcessEnvironment& env)
{
    const QString runtime = env.value(QStringLiteral("XDG_RUNTIME_DIR"));
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(QFile::encodeName(QDir::cleanPath(runtime))))
        return QDir::cleanPath(runtime);
    const QByteArray own = QFile::encodeName(QDir::tempPath()) + "/quorvel-runtime-" + QByteArray::number(::geteuid());
    if (::mkdir(own.constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return isPrivateFolder(own) ? QFile::decodeName(own) : QString();
}

bool AppFolders::programFolderIsOwn(const QString& programFolder)
{
    const QString folder = QDir::cleanPath(QFileInfo(programFolder).canonicalFilePath());
    if (folder.isEmpty())
        return false;
    // A package's programs share their folder with every other program: never ours, not
    // even for root, who may write it.
    static const QStringList system{QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin"),
        QStringLiteral("/bin"), QStringLiteral("/usr/games"), QDir::cleanPath(QStringLiteral(QUORVEL_INSTALL_BINDIR))};
    if (system.contains(folder))
        return false;
    struct stat st { };
    const QByteArray name = QFile::encodeName(folder);
    if (::stat(name.constData(), &st) != 0)
        return false;
    // By the bits, so that a folder made read-only counts as such for root as well; the
    // access check adds read-only mounts.
    const uid_t uid = ::geteuid();
    const bool bits = st.st_uid == uid ? (st.st_mode & S_IWUSR) != 0
        : st.st_gid == ::getegid()     ? (st.st_mode & S_IWGRP) != 0
                                       : (st.st_mode & S_IWOTH) != 0;
    return bits && ::access(name.constData(), W_OK) == 0;
}

AppFolders AppFolders::withConfigFile(const QString& file) const
{
    AppFolders a = *this;
    a.m_configFile = QDir::cleanPath(QFileInfo(file).absoluteFilePath());
    a.m_ownConfigFolder = false; // the user's folder: left as it is
    return a;
}

bool AppFolders::make(QString* error) const
{
    if (!m_installed)
        return true; // the program's own folder is there already; the log makes its own
    if (m_ownConfigFolder && !makeOwnerOnly(QFileInfo(m_configFile).absolutePath(), error))
        return false;
    return makeOwnerOnly(m_dataFolder, error) && makeOwnerOnly(m_logFolder, error);
}
