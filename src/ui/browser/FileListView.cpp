#include "ui/browser/FileListView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>

#include "quorvel/protocol/ProtocolWords.h"
#include "ui/browser/FileTreeModel.h"

FileListView::FileListView(QWidget* parent)
    : QTreeView(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setIconSize(QSize(FileTreeModel::IconSize, FileTreeModel::IconSize));
    setAccessibleName(tr("文件列表"));
    m_menu.setAccessibleName(tr("文件操作"));

    m_menu.addAction(tr("刷新"), this, &FileListView::refreshList);
    m_download = m_menu.addAction(tr("下载"), this, &FileListView::downloadActionTriggered);
    m_open = m_menu.addAction(tr("在Quorvel上打开"), this, &FileListView::openActionTriggered);
    m_delete = m_menu.addAction(tr("删除"), this, &FileListView::deleteActionTriggered);
    m_delete->setShortcut(QKeySequence::Delete);
    // The key works wherever in the dialog the focus is, not only while the menu is open.
    m_delete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    // Disabled only while the menu of a folder is open: the Delete key checks the row itself.
    connect(&m_menu, &QMenu::aboutToHide, this, [this] {
        for (QAction* action : {m_download, m_open, m_delete})
            action->setEnabled(true);
    });
    QMenu* order = m_menu.addMenu(tr("排序方式"));
    order->addAction(tr("文件名(升序)"), this, &FileListView::orderByNameIncreaseActionTriggered);
    order->addAction(tr("文件名(降序)"), this, &FileListView::orderByNameDecreaseActionTriggered);
    order->addAction(tr("大小(升序)"), this, &FileListView::orderBySizeIncreaseActionTriggered);
    order->addAction(tr("大小(降序)"), this, &FileListView::orderBySizeDecreaseActionTriggered);
    order->addAction(tr("修改时间(升序)"), this, &FileListView::orderByDateModifiedIncreaseActionTriggered);
    order->addAction(tr("修改时间(降序)"), this, &FileListView::orderByDateModifiedDecreaseActionTriggered);

    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideMiddle);
    QHeaderView* head = header();
    head->setStretchLastSection(false);
    head->setSectionsClickable(true);
    head->setSortIndicatorShown(true);
    connect(head, &QHeaderView::sortIndicatorChanged, this, &FileListView::onHeaderOrder);
    showOrder(ProtocolValue::DateModifiedDecrease);
}

void FileListView::resizeAllColumns()
{
    QHeaderView* head = header();
    if (head->count() < FileTreeModel::ColumnCount)
        return;
    const QFontMetrics text(font());
    const QFontMetrics caption(head->font());
    // Header padding and the sort arrow beside the caption.
    const int room = 16 + 20;
    const auto width = [&](int column, const QString& widest) {
        const QString title = model()->headerData(column, Qt::Horizontal).toString();
        return qMax(text.horizontalAdvance(widest), caption.horizontalAdvance(title)) + room;
    };
    head->setSectionResizeMode(FileTreeModel::NameColumn, QHeaderView::Stretch);
    for (int column = FileTreeModel::SizeColumn; column < FileTreeModel::ColumnCount; ++column)
        head->setSectionResizeMode(column, QHeaderView::Fixed);
    head->resizeSection(FileTreeModel::SizeColumn, width(FileTreeModel::SizeColumn, QStringLiteral("1023.99 MB")));
    head->resizeSection(
        FileTreeModel::DateColumn, width(FileTreeModel::DateColumn, QStringLiteral("0000-00-00 00:00:00")));
    head->resizeSection(FileTreeModel::TypeColumn, width(FileTreeModel::TypeColumn, tr("目录")));
}

void FileListView::showOrder(const QString& order)
{
    m_order = order;
    const int column = order.startsWith(QLatin1String("file_name")) ? FileTreeModel::NameColumn
        : order.startsWith(QLatin1String("file_size"))              ? FileTreeModel::SizeColumn
                                                                    : FileTreeModel::DateColumn;
    const QSignalBlocker quiet(header());
    header()->setSortIndicator(
        column, order.endsWith(QLatin1String("_increase")) ? Qt::AscendingOrder : Qt::DescendingOrder);
    header()->viewport()->update();
}

void FileListView::onHeaderOrder(int section, Qt::SortOrder order)
{
    // The six orders the device knows: name, size and time, each either way. The type
    // column has none, and keeps the order shown.
    const bool up = order == Qt::AscendingOrder;
    QString chosen;
    switch (section) {
    case FileTreeModel::NameColumn:
        chosen = up ? ProtocolValue::FileNameIncrease : ProtocolValue::FileNameDecrease;
        break;
    case FileTreeModel::SizeColumn:
        chosen = up ? ProtocolValue::FileSizeIncrease : ProtocolValue::FileSizeDecrease;
        break;
    case FileTreeModel::DateColumn:
        chosen = up ? ProtocolValue::DateModifiedIncrease : ProtocolValue::DateModifiedDecrease;
        break;
    default: break;
    }
    if (chosen.isEmpty()) {
        showOrder(m_order);
        return;
    }
    showOrder(chosen);
    emit orderFile(chosen);
}

bool FileListView::isDir(const QModelIndex& index) const
{
    return index.data(FileTreeModel::TypeRole).toString() == ProtocolValue::Dir;
}

QModelIndex FileListView::currentEntry() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.siblingAtColumn(0) : QModelIndex();
}

void FileListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid())
        setCurrentIndex(index);
}

void FileListView::mouseMoveEvent(QMouseEvent*)
{
    // No drag and no rubber band: one row at a time.
}

void FileListView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QModelIndex index = indexAt(event->pos());
    if (index.isValid() && isDir(index))
        emit findFile(index.siblingAtColumn(0).data(FileTreeModel::NameRole).toString());
}

void FileListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton)
        return;
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    showMenu(index, event->globalPos());
}

void FileListView::contextMenuEvent(QContextMenuEvent* event)
{
    // The mouse's menu comes with the button's release; this is the keyboard's.
    if (event->reason() != QContextMenuEvent::Keyboard)
        return;
    const QModelIndex index = currentEntry();
    if (index.isValid())
        showMenu(index, viewport()->mapToGlobal(visualRect(index).center()));
}

void FileListView::showMenu(const QModelIndex& index, const QPoint& pos)
{
    const bool file = !isDir(index);
    m_download->setEnabled(file);
    m_open->setEnabled(file);
    m_delete->setEnabled(file);
    m_menu.popup(pos);
}

void FileListView::keyPressEvent(QKeyEvent* event)
{
    // Shift+F10 is the keyboard's menu key too.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        const QModelIndex index = currentEntry();
        if (index.isValid())
            showMenu(index, viewport()->mapToGlobal(visualRect(index).center()));
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        const QModelIndex index = currentEntry();
        if (index.isValid() && isDir(index))
            emit findFile(index.data(FileTreeModel::NameRole).toString());
        event->accept(); // never the dialog's default button
        return;
    }
    QTreeView::keyPressEvent(event);
}

void FileListView::downloadActionTriggered()
{
    const QModelIndex index = currentEntry();
    if (index.isValid() && !isDir(index))
        emit downloadFile(
            index.data(FileTreeModel::NameRole).toString(), index.data(FileTreeModel::DateModifiedRole).toLongLong());
}

void FileListView::openActionTriggered()
{
    const QModelIndex index = currentEntry();
    if (index.isValid() && !isDir(index))
        emit openFile(index.data(FileTreeModel::NameRole).toString());
}

void FileListView::deleteActionTriggered()
{
    const QModelIndex index = currentEntry();
    if (index.isValid() && !isDir(index))
        emit deleteFile(index.data(FileTreeModel::NameRole).toString());
}

void FileListView::orderByNameIncreaseActionTriggered()
{
    showOrder(ProtocolValue::FileNameIncrease);
    emit orderFile(ProtocolValue::FileNameIncrease);
}

void FileListView::orderByNameDecreaseActionTriggered()
{
    showOrder(ProtocolValue::FileNameDecrease);
    emit orderFile(ProtocolValue::FileNameDecrease);
}

void FileListView::orderBySizeIncreaseActionTriggered()
{
    showOrder(ProtocolValue::FileSizeIncrease);
    emit orderFile(ProtocolValue::FileSizeIncrease);
}

void FileListView::orderBySizeDecreaseActionTriggered()
{
    showOrder(ProtocolValue::FileSizeDecrease);
    emit orderFile(ProtocolValue::FileSizeDecrease);
}

void FileListView::orderByDateModifiedIncreaseActionTriggered()
{
    showOrder(ProtocolValue::DateModifiedIncrease);
    emit orderFile(ProtocolValue::DateModifiedIncrease);
}

void FileListView::orderByDateModifiedDecreaseActionTriggered()
{
    showOrder(ProtocolValue::DateModifiedDecrease);
    emit orderFile(ProtocolValue::DateModifiedDecrease);
}

void FileListView::refreshList()
{
    emit findFile(QString());
}
