#include "utils/FileUtil.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "utils/Md5.h"

qint64 FileUtil::readAt(int descriptor, char* data, qint64 size, qint64 offset, QString* error)
{
    for (;;) {
        const ssize_t n = ::pread(descriptor, data, size_t(size), off_t(offset));
        if (n > 0)
            return n;
        if (n < 0 && errno == EINTR)
            continue;
        *error = n < 0 ? QString::fromLocal8Bit(std::strerror(errno)) : endedEarly();
        return -1;
    }
}

QString FileUtil::getFileMd5(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCritical("[E][%s] file open error: %s", "FileUtil", qUtf8Printable(file.errorString()));
        return QString();
    }
    Md5 md5;
    QByteArray buffer(1 << 20, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0) {
            qCritical("[E][%s] file open error: %s", "FileUtil", qUtf8Printable(file.errorString()));
            return QString();
        }
        if (n == 0)
            break;
        md5.addData(buffer.constData(), n);
    }
    return md5.hexResult();
}
