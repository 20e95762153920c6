#include "quorvel/server/IncomingFile.h"

#include <QCoreApplication>
#include <QDir>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/transfer/FileLanding.h"

QString IncomingFile::nameOf(const QString& offeredPath, QString* reason)
{
    const QString name = offeredPath.split(QLatin1Char('/')).last();
    if (name.isEmpty())
        *reason = QCoreApplication::translate("IncomingFile", "文件名为空");
    else if (name == QLatin1String(".") || name == QLatin1String(".."))
        *reason = QCoreApplication::translate("IncomingFile", "\"%1\"不是文件名").arg(name);
    else if (name.contains(QChar(0)))
        *reason = QCoreApplication::translate("IncomingFile", "文件名含有 NUL 字符");
    else if (name.contains(QLatin1Char('\\')))
        *reason = QCoreApplication::translate("IncomingFile", "文件名含有反斜杠");
    else if (name.toUtf8().size() > 255)
        *reason = QCoreApplication::translate("IncomingFile", "文件名超过 255 字节");
    else
        return name;
    return QString();
}

QString IncomingFile::targetIn(
    const QString& folder, const QString& name, const ServerContent& from, const QString& remotePath, QString* reason)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (reason)
            *reason = QCoreApplication::translate("IncomingFile", "无法创建文件夹 %1").arg(folder);
        return QString();
    }
    // Nothing is created yet: the download makes its part once bytes arrive.
    return FileLanding::choose(dir.filePath(name), from.address.toString(), remotePath, false, reason);
}
