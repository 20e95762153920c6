#include "DeviceFileStore.h"

#include "RgbImage.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QVector>
#include <algorithm>

#include "quorvel/protocol/ProtocolWords.h"

const QString DeviceFileStore::SecurePrefix = QStringLiteral("secure:/");

bool DeviceFileStore::setUp(const QString& folder, const QString& secureFolder, QString* error)
{
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    m_root = QFileInfo(folder).canonicalFilePath();
    const QString secure = secureFolder.isEmpty() ? m_root + QStringLiteral("/.secure") : secureFolder;
    if (!QDir().mkpath(secure)) {
        *error = QStringLiteral("cannot create %1").arg(secure);
        return false;
    }
    m_secure = QFileInfo(secure).canonicalFilePath();
    for (const char* sub : {"Quorvel", "Pictures", "Whiteboard"})
        QDir(m_root).mkpath(QString::fromLatin1(sub));
    return true;
}

bool DeviceFileStore::isSafeName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..")
        && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0))
        && name.toUtf8().size() <= 255;
}

QString DeviceFileStore::within(const QString& base, const QString& relative, QString* reason) const
{
    QString path = base;
    const QStringList segments = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& segment : segments) {
        if (segment == QLatin1String("."))
            continue;
        if (segment == QLatin1String("..") || segment.contains(QLatin1Char('\\')) || segment.contains(QChar(0))) {
            *reason = QStringLiteral("Invalid path.");
            return QString();
        }
        // Devices match names without regard to case when the exact name is missing
        // (the client writes "/QuorVEL/" for the "Quorvel" folder).
        QString next = path + QLatin1Char('/') + segment;
        if (!QFileInfo::exists(next)) {
            const QStringList siblings = QDir(path).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
            for (const QString& sibling : siblings) {
                if (sibling.compare(segment, Qt::CaseInsensitive) == 0) {
                    next = path + QLatin1Char('/') + sibling;
                    break;
                }
            }
        }
        path = next;
    }
    // A symbolic link may not lead out of the store either.
    const QFileInfo info(path);
    if (info.exists()) {
        const QString canonical = info.canonicalFilePath();
        if (canonical != base && !canonical.startsWith(base + QLatin1Char('/'))) {
            *reason = QStringLiteral("Invalid path.");
            return QString();
        }
    }
    return path;
}

QString DeviceFileStore::resolve(const QString& devicePath, QString* reason) const
{
    if (devicePath.startsWith(SecurePrefix))
        return within(m_secure, devicePath.mid(SecurePrefix.size()), reason);
    if (devicePath.contains(QLatin1Char(':'))) {
        *reason = QStringLiteral("Invalid path.");
        return QString();
    }
    return within(m_root, devicePath, reason);
}

QString DeviceFileStore::resolveSecure(const QString& relative, QString* reason) const
{
    return within(m_secure, relative, reason);
}

bool DeviceFileStore::list(const QString& devicePath, const QString& sort, QVariantList* entries, QString* reason) const
{
    const QString path = resolve(devicePath, reason);
    if (path.isEmpty())
        return false;
    QDir dir(path);
    if (!QFileInfo(path).isDir()) {
        *reason = QStringLiteral("No such directory.");
        return false;
    }
    // Each entry's fields are read once: a time read inside the comparison (a local-time
    // conversion every time) made a sort of 20,000 entries take seconds.
    struct Entry {
        QString name;
        qint64 size;
        qint64 modified;
        bool dir;
    };
    QVector<Entry> list;
    for (const QFileInfo& info : dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot))
        list.append(
            {info.fileName(), info.isDir() ? 0 : info.size(), info.lastModified().toMSecsSinceEpoch(), info.isDir()});
    using Less = bool (*)(const Entry&, const Entry&);
    Less less = nullptr;
    bool descending = sort.endsWith(QLatin1String("_decrease"));
    if (sort.startsWith(QLatin1String("file_name")))
        less = [](const Entry& a, const Entry& b) { return a.name < b.name; };
    else if (sort.startsWith(QLatin1String("file_size")))
        less = [](const Entry& a, const Entry& b) { return a.size != b.size ? a.size < b.size : a.name < b.name; };
    else if (sort.startsWith(QLatin1String("date_modified")))
        less = [](const Entry& a, const Entry& b) {
            return a.modified != b.modified ? a.modified < b.modified : a.name < b.name;
        };
    if (!less || !(sort.endsWith(QLatin1String("_increase")) || descending)) {
        *reason = QStringLiteral("Unknown sort: %1").arg(sort);
        return false;
    }
    std::stable_sort(list.begin(), list.end(), less);
    if (descending)
        std::reverse(list.begin(), list.end());

    entries->clear();
    entries->reserve(list.size());
    for (const Entry& e : qAsConst(list)) {
        QVariantMap entry;
        entry.insert(ProtocolKey::FileName, e.name);
        entry.insert(ProtocolKey::FileSize, e.size);
        entry.insert(ProtocolKey::DateModified, e.modified);
        entry.insert(ProtocolKey::FileType, QString(e.dir ? ProtocolValue::Dir : ProtocolValue::File));
        entries->append(entry);
    }
    return true;
}

QString DeviceFileStore::uploadTarget(const QString& fileName, bool secure, QString* reason) const
{
    if (!isSafeName(fileName)) {
        *reason = QStringLiteral("Invalid file name.");
        return QString();
    }
    const QString folder = secure ? m_secure : m_root + QStringLiteral("/Quorvel/上传");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + fileName;
}

QString DeviceFileStore::receiveTarget(const QString& fileName, QString* reason) const
{
    if (!isSafeName(fileName)) {
        *reason = QStringLiteral("Invalid file name.");
        return QString();
    }
    const QString folder = m_root + QStringLiteral("/Quorvel/接收");
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + fileName;
}

void DeviceFileStore::writeSamples(const QString& folder)
{
    QDir dir(folder);
    for (const char* sub : {"Quorvel", "Pictures", "Pictures/2024", "Whiteboard"})
        dir.mkpath(QString::fromLatin1(sub));
    const auto text = [&](const QString& name, const QByteArray& content) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(content);
    };
    text(QStringLiteral("Quorvel/readme.txt"), "Files on this simulated Quorvel device.\n");
    text(QStringLiteral("Quorvel/agenda.txt"), "09:00 Stand-up\n10:00 Planning\n");
    text(QStringLiteral("Whiteboard/notes.txt"), "Whiteboard notes\n");
    // A few real images, so that thumbnails have something to show.
    struct Sample {
        const char* name;
        uint8_t r, g, b;
    };
    for (const Sample& sample : {Sample{"Pictures/sunrise.png", 240, 160, 40},
             Sample{"Pictures/lake.jpg", 40, 110, 200}, Sample{"Pictures/2024/forest.png", 40, 150, 70}}) {
        RgbImage image(640, 400, sample.r, sample.g, sample.b);
        image.fillDisc(320, 200, 80);
        const QString name = QString::fromLatin1(sample.name);
        text(name, name.endsWith(QLatin1String(".jpg")) ? image.jpeg() : image.png());
    }
}
