#include "IncomingFile.h"

#include "FileDownloader.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int MaxNumbered = 9999;

// The targets handed out in this process: two offers never share one.
bool reserve(const QString& path)
{
    static QMutex lock;
    static QSet<QString> taken;
    QMutexLocker locker(&lock);
    if (taken.contains(path))
        return false;
    taken.insert(path);
    return true;
}
} // namespace

QString IncomingFile::nameOf(const QString& offeredPath, QString* reason)
{
    const QString name = offeredPath.split(QLatin1Char('/')).last();
    if (name.isEmpty())
        *reason = QStringLiteral("the name is empty");
    else if (name == QLatin1String(".") || name == QLatin1String(".."))
        *reason = QStringLiteral("\"%1\" is no file name").arg(name);
    else if (name.contains(QChar(0)))
        *reason = QStringLiteral("the name holds a NUL character");
    else if (name.contains(QLatin1Char('\\')))
        *reason = QStringLiteral("the name holds a backslash");
    else if (name.toUtf8().size() > 255)
        *reason = QStringLiteral("the name is longer than 255 bytes");
    else
        return name;
    return QString();
}

QString IncomingFile::targetIn(const QString& folder, const QString& name, QString* reason)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (reason)
            *reason = QStringLiteral("cannot create the folder %1").arg(folder);
        return QString();
    }
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 0; n <= MaxNumbered; ++n) {
        const QString path = dir.filePath(n == 0 ? name : QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(extension));
        const QByteArray final = QFile::encodeName(path);
        struct stat st;
        if (::lstat(final.constData(), &st) == 0 || errno != ENOENT)
            continue; // a file, folder or link of that name stays as it is
        // The bytes gather in NAME.part (the download's own rule), so that is what is
        // reserved. Checking first and opening later would leave a gap for a link or a
        // file to appear: creating is the check. The mode is that of any file the user
        // makes (0666 less the umask): what arrives is the user's document.
        const QString part = FileDownloader::partPathOf(path);
        const int fd
            = ::open(QFile::encodeName(part).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            reserve(path);
            return path;
        }
        if (errno != EEXIST) {
            if (reason)
                *reason = QStringLiteral("cannot create %1: %2").arg(part, qt_error_string(errno));
            return QString();
        }
        // A part an earlier run left (a plain file, no link): this offer resumes it,
        // unless another offer of this run already took it.
        if (::lstat(QFile::encodeName(part).constData(), &st) == 0 && S_ISREG(st.st_mode) && reserve(path))
            return path;
    }
    if (reason)
        *reason = QStringLiteral("%1 and %2 numbered names are taken in %3").arg(name).arg(MaxNumbered).arg(folder);
    return QString();
}
