#include "ui/browser/FileTreeModel.h"

#include <QDateTime>
#include <QLocale>
#include <QSize>

#include "quorvel/browse/FileThumb.h"

FileTreeModel::FileTreeModel(const FileTypes& types, const QString& path, const ServerContent& server, QObject* parent)
    : QAbstractItemModel(parent)
    , m_types(types)
    , m_path(path)
    , m_server(server)
    , m_dirIcon(QStringLiteral(":drawable/icon_dir.png"))
    , m_thumbs(ThumbBudgetBytes)
{
}

void FileTreeModel::clear()
{
    beginResetModel();
    m_files.clear();
    m_thumbAsked.clear();
    m_thumbs.clear();
    m_noThumb.clear();
    endResetModel();
}

void FileTreeModel::append(const FileContent& entry)
{
    beginInsertRows(QModelIndex(), m_files.size(), m_files.size());
    m_files.append(entry);
    m_thumbAsked.append(false);
    endInsertRows();
}

void FileTreeModel::setEntries(const QString& path, const QList<FileContent>& entries)
{
    beginResetModel();
    m_path = path;
    m_files = entries;
    m_thumbAsked.fill(false, entries.size());
    m_thumbs.clear();
    m_noThumb.clear();
    endResetModel();
}

void FileTreeModel::thumbNotFetched(const QModelIndex& index)
{
    if (isRow(index))
        m_thumbAsked[index.row()] = false;
}

bool FileTreeModel::isRow(const QModelIndex& index) const
{
    return index.isValid() && index.model() == this && index.row() < m_files.size() && index.column() < ColumnCount;
}

QModelIndex FileTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= m_files.size() || column < 0 || column >= ColumnCount)
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex FileTreeModel::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int FileTreeModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_files.size();
}

int FileTreeModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

Qt::ItemFlags FileTreeModel::flags(const QModelIndex& index) const
{
    return isRow(index) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

QPixmap FileTreeModel::decoration(int row) const
{
    const FileContent& entry = m_files.at(row);
    if (entry.isDir())
        return m_dirIcon.pixmap(IconSize, IconSize);
    if (isImageFile(entry.name)) {
        // object() marks the thumbnail as shown last: the cache drops others first.
        if (const QPixmap* thumb = m_thumbs.object(row))
            return *thumb;
        if (!m_thumbAsked.at(row) && !m_noThumb.contains(row)) {
            m_thumbAsked[row] = true;
            emit const_cast<FileTreeModel*>(this)->startGetThumb(entry.name, entry.dateModified, index(row, 0));
        }
    }
    return m_types.icon(entry.name).pixmap(IconSize, IconSize);
}

QVariant FileTreeModel::data(const QModelIndex& index, int role) const
{
    if (!isRow(index))
        return QVariant();
    const FileContent& entry = m_files.at(index.row());
    const int column = index.column();
    switch (role) {
    case Qt::ToolTipRole:
        // The whole name, which the column may show shortened.
        return column == NameColumn ? QVariant(entry.name) : QVariant();
    case TypeRole: return entry.type;
    case NameRole: return entry.name;
    case DateModifiedRole: return entry.dateModified;
    case Qt::TextAlignmentRole:
        return column == NameColumn ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
    case Qt::DisplayRole:
        switch (column) {
        case NameColumn: return entry.name;
        case SizeColumn: return entry.isDir() ? QString() : sizeText(entry.size);
        case DateColumn: {
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(entry.dateModified);
            return when.isValid() ? when.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : QString();
        }
        default: return entry.type == QLatin1String("file") ? tr("文件") : tr("目录");
        }
    case Qt::DecorationRole:
        if (column == NameColumn)
            return decoration(index.row());
        return QVariant();
    default: return QVariant();
    }
}

bool FileTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::DecorationRole)
        return QAbstractItemModel::setData(index, value, role);
    if (!isRow(index) || index.column() != NameColumn)
        return false;
    FileContent& entry = m_files[index.row()];
    // Bytes that are no image leave the type icon, and are not asked for again.
    // Only the small picture is kept, not the image as it came.
    const QImage image = QImage::fromData(value.toByteArray());
    entry.thumbRequested = true;
    m_thumbAsked[index.row()] = false;
    if (image.isNull()) {
        m_thumbs.remove(index.row());
        m_noThumb.insert(index.row());
    } else {
        auto* thumb = new QPixmap(
            QPixmap::fromImage(image.scaled(IconSize, IconSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
        const int cost = qMax(1, thumb->width() * thumb->height() * qMax(thumb->depth(), 8) / 8);
        m_thumbs.insert(index.row(), thumb, cost);
    }
    emit dataChanged(index, index, {Qt::DecorationRole});
    return true;
}

QVariant FileTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal) {
        switch (section) {
        case NameColumn: return tr("文件名");
        case SizeColumn: return tr("大小");
        case DateColumn: return tr("修改时间");
        case TypeColumn: return tr("类型");
        default: return QVariant();
        }
    }
    return QAbstractItemModel::headerData(section, orientation, role);
}

QString FileTreeModel::sizeText(qint64 bytes)
{
    // The locale's decimal point, but no group separator: "1023 KB", never "1,023 KB".
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const qint64 kb = 1024, mb = kb * 1024, gb = mb * 1024, tb = gb * 1024;
    if (bytes < kb)
        return tr("%n 字节", nullptr, int(bytes));
    if (bytes < mb)
        return tr("%1 KB").arg(locale.toString(bytes / kb));
    if (bytes < gb)
        return tr("%1 MB").arg(locale.toString(double(bytes) / mb, 'f', 1));
    if (bytes < tb)
        return tr("%1 GB").arg(locale.toString(double(bytes) / gb, 'f', 2));
    return tr("%1 TB").arg(locale.toString(double(bytes) / tb, 'f', 3));
}
