#pragma once

#include <QDeadlineTimer>
#include <QHash>
#include <QHostAddress>
#include <QRecursiveMutex>
#include <QStringList>
#include <QVector>

// Which local files were offered to which host, and until when. Only those may be
// fetched, only by the host they were offered to, and only while the offer stands
// (Timing::offerLifetimeMs). Made once by the application context and handed to whoever
// offers and whoever serves; offers and fetches come on pool threads, so every call
// takes the lock.
class OfferedFiles {
public:
    enum class Offer { None, Standing, Expired };

    OfferedFiles() = default;
    OfferedFiles(const OfferedFiles&) = delete;
    OfferedFiles& operator=(const OfferedFiles&) = delete;

    void addOfferedFile(const QHostAddress& host, const QString& filePath);
    // Takes back the last registration of the file for the host (an offer not sent).
    void removeOfferedFile(const QHostAddress& host, const QString& filePath);
    // Whether the file was offered to the host and the offer still stands (the latest
    // offer of the path counts). Expired offers are forgotten.
    Offer find(const QHostAddress& host, const QString& filePath);
    // The files whose offers to the host still stand, in the order offered.
    QStringList offeredFilesFor(const QHostAddress& host);
    // The host as the table keys it: an IPv4 host may come as ::ffff:a.b.c.d.
    static QString key(const QHostAddress& host);

private:
    struct Entry {
        QString path;
        QDeadlineTimer expires;
    };
    // Drops the host's expired offers; true when the path had one of them.
    static bool prune(QVector<Entry>& entries, const QString& path);

    QRecursiveMutex m_lock;
    QHash<QString, QVector<Entry>> m_offered;
};
