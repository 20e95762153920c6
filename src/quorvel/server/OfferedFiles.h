#pragma once

#include <QHostAddress>
#include <QStringList>

// Which local files were offered to which host, and until when. Only those may be
// fetched, only by the host they were offered to, and only while the offer stands
// (Timing::offerLifetimeMs).
class OfferedFiles {
public:
    enum class Offer { None, Standing, Expired };

    static void addOfferedFile(const QHostAddress& host, const QString& filePath);
    // Takes back the last registration of the file for the host (an offer not sent).
    static void removeOfferedFile(const QHostAddress& host, const QString& filePath);
    // Whether the file was offered to the host and the offer still stands (the latest
    // offer of the path counts). Expired offers are forgotten.
    static Offer find(const QHostAddress& host, const QString& filePath);
    // The files whose offers to the host still stand, in the order offered.
    static QStringList offeredFilesFor(const QHostAddress& host);
    // The host as the table keys it: an IPv4 host may come as ::ffff:a.b.c.d.
    static QString key(const QHostAddress& host);
};
