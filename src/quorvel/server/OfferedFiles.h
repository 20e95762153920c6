#pragma once

#include <QHostAddress>
#include <QStringList>

// Which local files were offered to which host. Only those may be fetched, and only by
// the host they were offered to.
class OfferedFiles {
public:
    static void addOfferedFile(const QHostAddress& host, const QString& filePath);
    // Takes back the last registration of the file for the host (an offer not sent).
    static void removeOfferedFile(const QHostAddress& host, const QString& filePath);
    // The files offered to the host, in the order offered (empty when none).
    static QStringList offeredFilesFor(const QHostAddress& host);
};
