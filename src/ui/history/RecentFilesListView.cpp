#include "ui/history/RecentFilesListView.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QUrl>

#include "ui/history/RecentFilesModel.h"

namespace {
const char* const Tag = "RecentFilesListView";

void openLocal(const QString& path)
{
    if (path.isEmpty() || !QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        qCritical("[E][%s] Open %s at local fail.", Tag, qUtf8Printable(path));
}
} // namespace

RecentFilesListView::RecentFilesListView(QWidget* parent)
    : QTreeView(parent)
{
    setAccessibleName(tr("最近文件"));
    m_menu.addAction(tr("刷新"), this, &RecentFilesListView::updateActionTriggered);
    m_delete = m_menu.addAction(tr("删除记录"), this, &RecentFilesListView::deleteActionTriggered);
    m_delete->setShortcut(QKeySequence::Delete);
    // Only while the focus is in the history: the file browser beside it has its own.
    m_delete->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    m_menu.addAction(tr("清空记录"), this, &RecentFilesListView::clearActionTriggered);
    m_menu.addAction(tr("在本地打开"), this, &RecentFilesListView::openFileAtNative);
    m_menu.addAction(tr("打开所在目录"), this, &RecentFilesListView::openDirTriggered);
    m_deleteRemote = m_menu.addAction(tr("在Quorvel上删除"), this, &RecentFilesListView::deleteFileAtServer);
    m_openRemote = m_menu.addAction(tr("在Quorvel上打开"), this, &RecentFilesListView::openActionTriggered);
}

void RecentFilesListView::setIsClient(bool isClient)
{
    m_isClient = isClient;
    m_deleteRemote->setEnabled(!isClient);
    m_openRemote->setEnabled(!isClient);
}

void RecentFilesListView::resizeAllColumns()
{
    for (int column = 0; column < 3; ++column)
        resizeColumnToContents(column);
}

void RecentFilesListView::menuTriggered(QAction* action)
{
    action->trigger();
}

void RecentFilesListView::deleteActionTriggered()
{
    emit deleteRecord();
}

void RecentFilesListView::openActionTriggered()
{
    emit openFile();
}

void RecentFilesListView::updateActionTriggered()
{
    emit updateList();
}

void RecentFilesListView::clearActionTriggered()
{
    emit clearRecord();
}

void RecentFilesListView::deleteFileAtServer()
{
    emit deleteFile();
}

QString RecentFilesListView::currentNativePath() const
{
    return currentIndex().data(RecentFilesModel::NativePathRole).toString();
}

void RecentFilesListView::openFileAtNative()
{
    openLocal(currentNativePath());
}

void RecentFilesListView::openDirTriggered()
{
    const QString path = currentNativePath();
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        qCritical("[E][%s] No folder in %s.", Tag, qUtf8Printable(path));
    else
        openLocal(path.left(qMax(slash, 1)));
}

void RecentFilesListView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const QModelIndex index = indexAt(event->pos());
        if (index.isValid())
            setCurrentIndex(index);
    }
}

void RecentFilesListView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::RightButton)
        return;
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    setCurrentIndex(index);
    if (index.data(RecentFilesModel::NativePathRole).toString() != QLatin1String("dir"))
        m_menu.popup(event->globalPos());
}

void RecentFilesListView::mouseDoubleClickEvent(QMouseEvent*)
{
}
