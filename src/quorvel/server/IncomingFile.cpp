#include "IncomingFile.h"

#include <QDir>
#include <QFileInfo>

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

QString IncomingFile::targetIn(const QString& folder, const QString& name)
{
    const QDir dir(folder);
    const auto taken = [&](const QString& candidate) {
        const QFileInfo info(dir.filePath(candidate));
        return info.exists() || info.isSymLink(); // a dangling link "exists" too
    };
    if (!taken(name))
        return dir.filePath(name);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    for (int n = 1;; ++n) {
        const QString candidate = QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(extension);
        if (!taken(candidate))
            return dir.filePath(candidate);
    }
}
