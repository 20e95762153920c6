#include "quorvel/transfer/FileLanding.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QSet>
#include <cerrno>
#include <sys/stat.h>

#include "quorvel/transfer/PartialFile.h"

namespace {
QMutex g_lock;
QSet<QString> g_claimed;
} // namespace

QString FileLanding::numbered(const QString& path, int n)
{
    if (n == 0)
        return path;
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    return path.left(slash + 1) + QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(extension);
}

bool FileLanding::occupied(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 || errno != ENOENT;
}

QString FileLanding::choose(
    const QString& wanted, const QString& party, const QString& remotePath, bool replace, QString* reason)
{
    QMutexLocker locker(&g_lock);
    for (int n = 0; n <= MaxNumbered; ++n) {
        const QString path = numbered(wanted, n);
        if (g_claimed.contains(path))
            continue;
        if (occupied(path)) {
            // Only the name asked for is replaced, and only a plain file.
            struct stat st;
            const bool plain = ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
            if (!(replace && n == 0 && plain))
                continue;
        }
        if (!PartialFile::usableBy(path, party, remotePath))
            continue; // someone else's part: left alone, and so is its name
        g_claimed.insert(path);
        return path;
    }
    if (reason)
        *reason = QCoreApplication::translate("FileLanding", "%1 及 %2 个编号的文件名都已被占用")
                      .arg(wanted)
                      .arg(MaxNumbered);
    return QString();
}

void FileLanding::release(const QString& path)
{
    QMutexLocker locker(&g_lock);
    g_claimed.remove(path);
}
