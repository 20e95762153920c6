#pragma once

#include <QByteArray>
#include <QModelIndex>

#include "quorvel/transfer/FileCommand.h"

class QuorvelClientDatabase;

// True when the name ends (in any case) with .bmp, .png, .jpg, .jpeg or .gif.
bool isImageFile(const QString& fileName);

// A file's thumbnail: from the cache when the same file (device, path, modification
// time) was fetched before, else from the device, then cached.
class FileThumb : public FileCommand {
    Q_OBJECT
public:
    // cache: where thumbnails are kept (null: none is kept); it outlives the task.
    FileThumb(const QString& path, const ServerContent& server, qint64 dateModified, const QModelIndex& index,
        QuorvelClientDatabase* cache);

signals:
    void getThumbEnd(bool result, QByteArray byteArray, QModelIndex mIndex);

protected:
    void execute() override;
    void finish() override;

private:
    QuorvelClientDatabase* m_cache;
    QString m_path;
    QByteArray m_thumb;
    QModelIndex m_index;
    qint64 m_dateModified;
};
