#pragma once

#include <QAbstractItemModel>
#include <QCache>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QSet>
#include <QVector>

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "ui/common/FileTypes.h"

// One folder of a device as a flat four-column list: name with icon or thumbnail, size,
// modification time, type. An image row without a thumbnail asks for one when it is
// painted, once until the answer (or the news that none came) arrives. Thumbnails are
// kept up to a budget of bytes; past it the least recently shown go, and are asked for
// again should their rows come back into view.
class FileTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, DateColumn, TypeColumn, ColumnCount };
    enum Role { TypeRole = Qt::UserRole, NameRole, DateModifiedRole };
    static constexpr int IconSize = 48;
    static constexpr int ThumbBudgetBytes = 64 * 1024 * 1024;

    // types: the icons of files without a thumbnail.
    FileTreeModel(const FileTypes& types, const QString& path, const ServerContent& server, QObject* parent = nullptr);

    void clear();
    void append(const FileContent& entry);
    // Replaces every row at once: the listing of path.
    void setEntries(const QString& path, const QList<FileContent>& entries);
    QString path() const { return m_path; }
    // No thumbnail came for the row: a later paint asks again.
    void thumbNotFetched(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QString sizeText(qint64 bytes);
    // Bytes held by thumbnails now.
    int thumbBytes() const { return m_thumbs.totalCost(); }

signals:
    void startGetThumb(QString filePath, qlonglong dateModified, QModelIndex index);

private:
    bool isRow(const QModelIndex& index) const;
    QPixmap decoration(int row) const;

    const FileTypes m_types;
    QList<FileContent> m_files;
    QString m_path;
    ServerContent m_server;
    QIcon m_dirIcon;
    // Rows whose thumbnail has been asked for and not answered yet.
    mutable QVector<bool> m_thumbAsked;
    // Row -> its thumbnail; the cache's order is the order last shown.
    mutable QCache<int, QPixmap> m_thumbs;
    // Rows whose answer was no image: the type icon stays, nothing is asked again.
    QSet<int> m_noThumb;
};
