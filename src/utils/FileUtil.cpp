#include "FileUtil.h"

#include <QFile>

#include "Md5.h"

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
