#include "quorvel/server/IncomingFile.h"

#include <QDir>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/transfer/FileLanding.h"

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

QString IncomingFile::targetIn(
    const QString& folder, const QString& name, const ServerContent& from, const QString& remotePath, QString* reason)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        if (reason)
            *reason = QStringLiteral("cannot create the folder %1").arg(folder);
        return QString();
    }
    // Nothing is created yet: the download makes its part once bytes arrive.
    return FileLanding::choose(dir.filePath(name), from.address.toString(), remotePath, false, reason);
}
