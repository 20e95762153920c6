#include "FileUtil.h"

#include <QCryptographicHash>
#include <QFile>

QString FileUtil::getFileMd5(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCritical("[E][%s] file open error: %s", "FileUtil", qUtf8Printable(file.errorString()));
        return QString();
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    if (!hash.addData(&file)) {
        qCritical("[E][%s] file open error: %s", "FileUtil", qUtf8Printable(file.errorString()));
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}
