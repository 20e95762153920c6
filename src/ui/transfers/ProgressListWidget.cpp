#include "ui/transfers/ProgressListWidget.h"

#include <QAbstractItemDelegate>

void ProgressListWidget::setRowWidget(QListWidgetItem* item, QWidget* widget)
{
    setItemWidget(item, widget);
    // Placed and shown by the next layout if in view; until then it may stand anywhere.
    widget->hide();
    scheduleDelayedItemsLayout();
}

void ProgressListWidget::rowsInserted(const QModelIndex& parent, int start, int end)
{
    m_inserting = true;
    QListWidget::rowsInserted(parent, start, end);
    m_inserting = false;
}

void ProgressListWidget::updateEditorGeometries()
{
    if (count() == 0) {
        m_shown.clear();
        return;
    }
    // Qt places the rows after each insertion, laying the whole list out at once: a row
    // inserted waits for the layout owed, which comes back here.
    if (m_inserting) {
        scheduleDelayedItemsLayout();
        return;
    }
    executeDelayedItemsLayout();
    const QRect view = viewport()->rect();
    // A list with no room (its window hidden or shrunk to nothing) shows no row.
    const QModelIndex top = indexAt(QPoint(view.left() + 1, view.top()));
    const QModelIndex bottom = indexAt(QPoint(view.left() + 1, view.bottom()));
    const int first = view.isEmpty() ? 0 : top.isValid() ? top.row() : 0;
    const int last = view.isEmpty() ? -1 : bottom.isValid() ? bottom.row() : count() - 1;
    QStyleOptionViewItem option = viewOptions();
    QVector<QPointer<QWidget>> shown;
    for (int row = first; row <= last; ++row) {
        QListWidgetItem* rowItem = item(row);
        QWidget* widget = itemWidget(rowItem);
        if (!widget)
            continue;
        const QModelIndex index = indexFromItem(rowItem);
        option.rect = visualRect(index);
        if (!option.rect.isValid() || !option.rect.intersects(view))
            continue;
        itemDelegate(index)->updateEditorGeometry(widget, option, index);
        widget->show();
        shown.append(widget);
    }
    for (const QPointer<QWidget>& widget : qAsConst(m_shown)) {
        if (widget && !shown.contains(widget))
            widget->hide();
    }
    m_shown = shown;
}

void ProgressListWidget::scrollContentsBy(int dx, int dy)
{
    QListWidget::scrollContentsBy(dx, dy);
    updateEditorGeometries();
}
