#include "quorvel/transfer/PartialFile.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "quorvel/transfer/FileLanding.h"

namespace {
constexpr int MaxNameBytes = 255;
constexpr qint64 MaxOwnerBytes = 64 * 1024;
const char* const Tag = "PartialFile";

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool isPlainFile(const QString& path)
{
    struct stat st;
    return ::lstat(encoded(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}
} // namespace

QString PartialFile::partPathOf(const QString& localPath)
{
    const int slash = localPath.lastIndexOf(QLatin1Char('/'));
    QString name = localPath.mid(slash + 1);
    // Room for ".part.owner" as well, so that both names fit.
    while (name.toUtf8().size() > MaxNameBytes - 11)
        name.chop(1);
    return localPath.left(slash + 1) + name + QStringLiteral(".part");
}

QString PartialFile::ownerPathOf(const QString& localPath)
{
    return partPathOf(localPath) + QStringLiteral(".owner");
}

bool PartialFile::readOwner(const QString& localPath, Owner* owner)
{
    const QString path = ownerPathOf(localPath);
    if (!isPlainFile(path))
        return false;
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    QFile file;
    if (fd < 0 || !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    const QJsonObject o = QJsonDocument::fromJson(file.read(MaxOwnerBytes)).object();
    if (!o.value(QLatin1String("party")).isString() || !o.value(QLatin1String("remote")).isString())
        return false;
    owner->party = o.value(QLatin1String("party")).toString();
    owner->remotePath = o.value(QLatin1String("remote")).toString();
    owner->size = qint64(o.value(QLatin1String("size")).toDouble(-1));
    owner->modified = qint64(o.value(QLatin1String("modified")).toDouble());
    return true;
}

bool PartialFile::usableBy(const QString& localPath, const QString& party, const QString& remotePath)
{
    Owner owner;
    // A record left without its part is ours and stale; anything else there is not ours.
    if (!FileLanding::occupied(partPathOf(localPath)))
        return !FileLanding::occupied(ownerPathOf(localPath)) || readOwner(localPath, &owner);
    return isPlainFile(partPathOf(localPath)) && readOwner(localPath, &owner) && owner.party == party
        && owner.remotePath == remotePath;
}

PartialFile::PartialFile(const QString& localPath, const Owner& owner)
    : m_localPath(localPath)
    , m_owner(owner)
{
}

PartialFile::~PartialFile()
{
    m_file.close();
}

bool PartialFile::writeOwner(QString* reason)
{
    const QString path = ownerPathOf(m_localPath);
    Owner old;
    // A file of that name that is no record of ours is not ours to replace.
    if (FileLanding::occupied(path) && !readOwner(m_localPath, &old)) {
        *reason = QCoreApplication::translate("PartialFile", "%1 不是本程序的记录: 保持原样").arg(path);
        return false;
    }
    QJsonObject o;
    o.insert(QLatin1String("party"), m_owner.party);
    o.insert(QLatin1String("remote"), m_owner.remotePath);
    o.insert(QLatin1String("size"), double(m_owner.size));
    o.insert(QLatin1String("modified"), double(m_owner.modified));
    const QByteArray bytes = QJsonDocument(o).toJson(QJsonDocument::Compact);
    const int fd = ::open(encoded(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    const bool ok = fd >= 0 && ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    const int error = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok) {
        *reason = QCoreApplication::translate("PartialFile", "无法写入 %1: %2").arg(path, qt_error_string(error));
        return false;
    }
    return true;
}

bool PartialFile::open(QString* reason)
{
    const QString part = partPathOf(m_localPath);
    const int flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
    bool fresh = true;
    int fd = ::open(encoded(part).constData(), flags | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno == EEXIST) {
        Owner recorded;
        if (!isPlainFile(part) || !readOwner(m_localPath, &recorded) || recorded.party != m_owner.party
            || recorded.remotePath != m_owner.remotePath) {
            *reason = QCoreApplication::translate("PartialFile", "%1 属于其它内容: 保持原样").arg(part);
            return false;
        }
        fresh = false;
        fd = ::open(encoded(part).constData(), flags);
        if (fd >= 0 && !(recorded == m_owner)) {
            // Our own part of an older version of the file: nothing in it is of use.
            qInfo("[I][%s] %s was for another version of %s: starting again.", Tag, qUtf8Printable(part),
                qUtf8Printable(m_owner.remotePath));
            if (::ftruncate(fd, 0) != 0 || !writeOwner(reason)) {
                ::close(fd);
                if (reason->isEmpty())
                    *reason = QCoreApplication::translate("PartialFile", "无法清空 %1: %2")
                                  .arg(part, qt_error_string(errno));
                return false;
            }
        }
    }
    if (fd < 0) {
        *reason = QCoreApplication::translate("PartialFile", "无法写入 %1: %2").arg(part, qt_error_string(errno));
        return false;
    }
    if (!m_file.open(fd, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        *reason = QCoreApplication::translate("PartialFile", "无法写入 %1: %2").arg(part, m_file.errorString());
        return false;
    }
    m_opened = true;
    if (fresh && !writeOwner(reason)) {
        discard();
        return false;
    }
    m_held = m_file.size();
    if (m_held > m_owner.size) { // longer than the file: no beginning of it
        m_file.resize(0);
        m_held = 0;
    }
    return true;
}

QString PartialFile::land(bool replace, QString* reason)
{
    m_file.close();
    const QByteArray part = encoded(partPathOf(m_localPath));
    QString landed;
    if (replace) {
        // Replaces a plain file only: a link or a folder there stays as it is.
        if (FileLanding::occupied(m_localPath) && !isPlainFile(m_localPath)) {
            *reason = QCoreApplication::translate("PartialFile", "%1 不是普通文件: 下载内容保留在 %2")
                          .arg(m_localPath, partPathOf(m_localPath));
            return QString();
        }
        if (::rename(part.constData(), encoded(m_localPath).constData()) == 0)
            landed = m_localPath;
    } else {
        for (int n = 0; n <= FileLanding::MaxNumbered && landed.isEmpty(); ++n) {
            const QString target = FileLanding::numbered(m_localPath, n);
            const QByteArray to = encoded(target);
            // Never over anything that appeared at the name since it was chosen.
            int done = ::renameat2(AT_FDCWD, part.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
            if (done != 0 && (errno == EINVAL || errno == ENOSYS)) {
                done = ::link(part.constData(), to.constData());
                if (done == 0)
                    ::unlink(part.constData());
            }
            if (done == 0)
                landed = target;
            else if (errno != EEXIST)
                break;
        }
    }
    if (landed.isEmpty()) {
        *reason = QCoreApplication::translate("PartialFile", "无法将 %1 重命名为 %2: %3")
                      .arg(partPathOf(m_localPath), m_localPath, qt_error_string(errno));
        return QString();
    }
    ::unlink(encoded(ownerPathOf(m_localPath)).constData());
    m_opened = false;
    return landed;
}

void PartialFile::discard()
{
    if (!m_opened)
        return;
    m_file.close();
    ::unlink(encoded(partPathOf(m_localPath)).constData());
    ::unlink(encoded(ownerPathOf(m_localPath)).constData());
    m_opened = false;
}
