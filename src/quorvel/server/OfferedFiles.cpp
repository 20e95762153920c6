#include "quorvel/server/OfferedFiles.h"

#include <QMutexLocker>

#include "quorvel/tasks/Timing.h"

bool OfferedFiles::prune(QVector<Entry>& entries, const QString& path)
{
    bool expired = false;
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (entries.at(i).expires.hasExpired()) {
            expired = expired || entries.at(i).path == path;
            entries.removeAt(i);
        }
    }
    return expired;
}

QString OfferedFiles::key(const QHostAddress& host)
{
    bool isV4 = false;
    const quint32 v4 = host.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : host.toString();
}

void OfferedFiles::addOfferedFile(const QHostAddress& host, const QString& filePath)
{
    QMutexLocker lock(&m_lock);
    QVector<Entry>& entries = m_offered[key(host)];
    prune(entries, QString());
    entries.append({filePath, QDeadlineTimer(Timing::current().offerLifetimeMs)});
}

void OfferedFiles::removeOfferedFile(const QHostAddress& host, const QString& filePath)
{
    QMutexLocker lock(&m_lock);
    QVector<Entry>& entries = m_offered[key(host)];
    for (int i = entries.size() - 1; i >= 0; --i) {
        if (entries.at(i).path == filePath) {
            entries.removeAt(i);
            return;
        }
    }
}

OfferedFiles::Offer OfferedFiles::find(const QHostAddress& host, const QString& filePath)
{
    QMutexLocker lock(&m_lock);
    const auto it = m_offered.find(key(host));
    if (it == m_offered.end())
        return Offer::None;
    const bool expired = prune(*it, filePath);
    for (const Entry& entry : qAsConst(*it)) {
        if (entry.path == filePath)
            return Offer::Standing;
    }
    return expired ? Offer::Expired : Offer::None;
}

QStringList OfferedFiles::offeredFilesFor(const QHostAddress& host)
{
    QMutexLocker lock(&m_lock);
    QStringList files;
    const auto it = m_offered.find(key(host));
    if (it == m_offered.end())
        return files;
    prune(*it, QString());
    for (const Entry& entry : qAsConst(*it))
        files.append(entry.path);
    return files;
}
