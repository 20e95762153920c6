#include "OfferedFiles.h"

#include <QHash>
#include <QMutexLocker>
#include <QRecursiveMutex>

namespace {
QRecursiveMutex g_lock;
QHash<QString, QStringList> g_offered;

QString key(const QHostAddress& host)
{
    // An IPv4 host may write as ::ffff:a.b.c.d from a dual-stack socket.
    bool isV4 = false;
    const quint32 v4 = host.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : host.toString();
}
} // namespace

void OfferedFiles::addOfferedFile(const QHostAddress& host, const QString& filePath)
{
    QMutexLocker lock(&g_lock);
    g_offered[key(host)].append(filePath);
}

void OfferedFiles::removeOfferedFile(const QHostAddress& host, const QString& filePath)
{
    QMutexLocker lock(&g_lock);
    QStringList& files = g_offered[key(host)];
    const int last = files.lastIndexOf(filePath);
    if (last >= 0)
        files.removeAt(last);
}

QStringList OfferedFiles::offeredFilesFor(const QHostAddress& host)
{
    QMutexLocker lock(&g_lock);
    return g_offered.value(key(host));
}
