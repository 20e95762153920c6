#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>

// One row of the transfer history.
class RecentFilesContent {
public:
    qint64 rowid = 0;
    QString uuid;
    QString type; // "file_upload", "secure" or "file_download"
    QString remotePath;
    QString nativePath;
    QByteArray thumbnail; // the encoded image, decoded by the window
    qint64 operateTime = 0;
    qint64 dateModified = 0;
};

Q_DECLARE_METATYPE(RecentFilesContent)
Q_DECLARE_METATYPE(QList<RecentFilesContent>)
