#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QPixmap>

#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "ui/common/FileTypes.h"

// The transfer history of one device as a flat three-column list: file name with its
// thumbnail or type icon, kind of transfer, time. Thumbnails of local images are asked
// for when a row is painted, one request per row at a time.
class RecentFilesModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Role { NativePathRole = Qt::UserRole + 1, RowIdRole, RemotePathRole };

    // types: the icons of rows without a thumbnail.
    explicit RecentFilesModel(const FileTypes& types, QObject* parent = nullptr);

    void setServerContent(const ServerContent& server);
    ServerContent serverContent() const { return m_server; }
    // Replaces the whole content; thumbnails come back on the next paint.
    void setRecords(const QList<RecentFilesContent>& records);
    void clear();

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // The decoration of column 0 takes the thumbnail's encoded bytes; empty bytes (or
    // bytes that are no image) end the request, so that a later paint asks again.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void startGetThumb(QString uuid, QString filePath, qlonglong dateModified, QModelIndex index);

private:
    struct Record {
        RecentFilesContent content;
        QPixmap shown;
        bool thumbLoaded = false;
        bool thumbRequested = false;
    };
    QVariant decoration(const QModelIndex& index) const;
    QPixmap typeIcon(const QString& fileName) const;

    const FileTypes m_types;
    ServerContent m_server;
    // mutable: a paint marks the thumbnail it asked for.
    mutable QList<Record> m_records;
};
