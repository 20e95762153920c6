#pragma once

#include <QByteArray>
#include <QModelIndex>

#include "quorvel/tasks/Task.h"

class QuorvelClientDatabase;

// The thumbnail of a local image file: from the database's cache, else made from the
// file (144 by 144, PNG) and cached. The cache key holds the modification time's low 32
// bits only, as the history always did.
class NativeFileThumb : public Task {
    Q_OBJECT
public:
    static constexpr int Side = 144;

    // cache: where thumbnails are kept (null: none); it outlives the task.
    NativeFileThumb(const QString& uuid, const QString& filePath, qint64 dateModified, const QModelIndex& index,
        QuorvelClientDatabase* cache);

    // The key time under which a file of this modification time is cached: its low 32
    // bits as a signed number.
    static qint32 keyTime(qint64 dateModified) { return qint32(quint32(quint64(dateModified) & 0xffffffffu)); }

signals:
    void getThumbEnd(QByteArray thumbdata, QModelIndex index);

protected:
    void execute() override;
    void finish() override;

private:
    QuorvelClientDatabase* m_cache;
    QString m_uuid;
    QString m_filePath;
    qint32 m_dateModified;
    QModelIndex m_index;
    QByteArray m_thumb;
};
