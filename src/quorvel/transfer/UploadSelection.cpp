#include "quorvel/transfer/UploadSelection.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>

namespace {
QString unusableFile(const QFileInfo& info)
{
    if (!info.isFile())
        return QCoreApplication::translate("UploadSelection", "不是普通文件");
    if (!info.isReadable())
        return QCoreApplication::translate("UploadSelection", "无法读取");
    return QString();
}
} // namespace

UploadSelection UploadSelection::collect(const QStringList& paths)
{
    UploadSelection selection;
    QSet<QString> seen;
    const auto add = [&](const QString& file) {
        const QString clean = QFileInfo(file).absoluteFilePath();
        if (!seen.contains(clean)) {
            seen.insert(clean);
            selection.files.append(clean);
        }
    };
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (!info.exists()) {
            selection.problems.append(QCoreApplication::translate("UploadSelection", "%1: 不存在").arg(path));
            continue;
        }
        if (!info.isDir()) {
            const QString why = unusableFile(info);
            if (why.isEmpty())
                add(path);
            else
                selection.problems.append(QStringLiteral("%1: %2").arg(path, why));
            continue;
        }
        // Links to files are sent as the files; links to folders are not entered, so a
        // link back up cannot make the walk endless.
        QDirIterator it(path, QDir::Files | QDir::Readable, QDirIterator::Subdirectories);
        QStringList found;
        while (it.hasNext() && found.size() <= MaxFilesPerFolder)
            found.append(it.next());
        if (found.size() > MaxFilesPerFolder) {
            selection.problems.append(
                QCoreApplication::translate("UploadSelection", "%1: 包含超过 %2 个文件; 请改为选择文件")
                    .arg(path)
                    .arg(MaxFilesPerFolder));
            continue;
        }
        if (found.isEmpty()) {
            selection.problems.append(QCoreApplication::translate("UploadSelection", "%1: 没有可读取的文件").arg(path));
            continue;
        }
        found.sort();
        for (const QString& file : qAsConst(found))
            add(file);
    }
    return selection;
}
