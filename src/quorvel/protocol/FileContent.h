#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// One entry of a remote directory listing.
class FileContent {
public:
    QString name;
    QString type;
    qint64 size = 0;
    qint64 dateModified = 0;
    QByteArray thumb; // the encoded image
    bool thumbRequested = false;

    bool isDir() const;

    // Reads one "file_list" entry; missing keys take the values devices are known to omit.
    static FileContent fromJson(const QVariantMap& entry);
};

Q_DECLARE_METATYPE(FileContent)
Q_DECLARE_METATYPE(QList<FileContent>)
