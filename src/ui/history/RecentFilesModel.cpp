#include "ui/history/RecentFilesModel.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIcon>
#include <QSize>

#include "quorvel/browse/FileThumb.h"
#include "quorvel/protocol/ProtocolWords.h"

namespace {
constexpr int IconSide = 48;
} // namespace

RecentFilesModel::RecentFilesModel(const FileTypes& types, QObject* parent)
    : QAbstractItemModel(parent)
    , m_types(types)
{
}

QPixmap RecentFilesModel::typeIcon(const QString& fileName) const
{
    return m_types.icon(fileName).pixmap(IconSide, IconSide);
}

void RecentFilesModel::setServerContent(const ServerContent& server)
{
    m_server = server;
}

void RecentFilesModel::setRecords(const QList<RecentFilesContent>& records)
{
    beginResetModel();
    m_records.clear();
    for (const RecentFilesContent& content : records)
        m_records.append(Record{content, QPixmap(), false, false});
    endResetModel();
}

void RecentFilesModel::clear()
{
    setRecords({});
}

QModelIndex RecentFilesModel::index(int row, int column, const QModelIndex& parent) const
{
    return hasIndex(row, column, parent) ? createIndex(row, column) : QModelIndex();
}

QModelIndex RecentFilesModel::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int RecentFilesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_records.size();
}

int RecentFilesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant RecentFilesModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return QVariant();
    const RecentFilesContent& c = m_records.at(index.row()).content;
    switch (role) {
    case Qt::TextAlignmentRole:
        return index.column() == 0 ? int(Qt::AlignLeft | Qt::AlignVCenter) : int(Qt::AlignCenter);
    case NativePathRole: return c.nativePath;
    case RowIdRole: return c.rowid;
    case RemotePathRole: return c.remotePath;
    case Qt::DisplayRole:
        if (index.column() == 0)
            return c.nativePath.split(QLatin1Char('/')).last();
        if (index.column() == 1) {
            if (c.type == ProtocolType::FileDownload)
                return tr("下载");
            return c.type == ProtocolValue::Secure ? tr("机密上传") : tr("上传");
        }
        {
            const QDateTime time = QDateTime::fromMSecsSinceEpoch(c.operateTime);
            return time.isValid() ? time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) : QString();
        }
    case Qt::DecorationRole: return index.column() == 0 ? decoration(index) : QVariant();
    default: return QVariant();
    }
}

QVariant RecentFilesModel::decoration(const QModelIndex& index) const
{
    Record& record = m_records[index.row()];
    const QString& path = record.content.nativePath;
    if (!isImageFile(path))
        return typeIcon(path);
    if (record.thumbLoaded)
        return record.shown;
    if (!record.thumbRequested) {
        record.thumbRequested = true;
        emit const_cast<RecentFilesModel*>(this)->startGetThumb(
            record.content.uuid, path, record.content.dateModified, index);
    }
    return typeIcon(path);
}

bool RecentFilesModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return false;
    if (role != Qt::DecorationRole || index.column() != 0)
        return QAbstractItemModel::setData(index, value, role);
    Record& record = m_records[index.row()];
    record.thumbRequested = false;
    const QByteArray bytes = value.toByteArray();
    QImage image;
    if (bytes.isEmpty() || !image.loadFromData(bytes))
        return false;
    record.content.thumbnail = bytes;
    record.shown
        = QPixmap::fromImage(image.scaled(IconSide, IconSide, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    record.thumbLoaded = true;
    emit dataChanged(this->index(index.row(), 0), this->index(index.row(), 2));
    return true;
}

QVariant RecentFilesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const int widths[] = {260, 80, 180};
    const auto text = [](int column) {
        const QString texts[] = {tr("文件名"), tr("上传/下载"), tr("操作时间")};
        return texts[column];
    };
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignCenter);
    // At least the whole title (another language's may be longer), with the section's padding.
    if (role == Qt::SizeHintRole && section >= 0 && section < 3)
        return QSize(
            qMax(widths[section], QFontMetrics(QGuiApplication::font()).horizontalAdvance(text(section)) + 24), 26);
    if (role == Qt::SizeHintRole)
        return QVariant();
    if (role == Qt::DisplayRole && orientation == Qt::Horizontal && section >= 0 && section < 3)
        return text(section);
    return QAbstractItemModel::headerData(section, orientation, role);
}
