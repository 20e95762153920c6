#include "ui/history/RecentFilesDialog.h"

#include <QHeaderView>
#include <QPersistentModelIndex>
#include <QThreadPool>

#include "quorvel/browse/GetRecentFiles.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "ui/history/NativeFileThumb.h"
#include "ui_RecentFilesDialog.h"

RecentFilesDialog::RecentFilesDialog(
    QuorvelClientDatabase* history, DeviceActions& actions, const FileTypes& types, QWidget* parent)
    : QDialog(parent)
    , m_history(history)
    , m_actions(actions)
    , ui(new Ui::RecentFilesDialog)
    , m_model(types)
    , m_pool(new QThreadPool(this))
{
    ui->setupUi(this);
    RecentFilesListView* view = ui->recentFilesTreeView;
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setModel(&m_model);
    // Columns fit the rows in view, not a history of thousands: measuring each row's text
    // costs the window's thread tens of microseconds.
    view->header()->setResizeContentsPrecision(0);
    view->resizeColumnToContents(1); // its title whole before the first records arrive
    addAction(view->deleteAction());
    connect(&m_model, &RecentFilesModel::startGetThumb, this, &RecentFilesDialog::startGetThumb);
    connect(ui->deleteButton, &QPushButton::clicked, this, &RecentFilesDialog::deleteRecord);
    connect(ui->clearButton, &QPushButton::clicked, this, &RecentFilesDialog::clearRecord);
    connect(view, &RecentFilesListView::deleteRecord, this, &RecentFilesDialog::deleteRecord);
    connect(view, &RecentFilesListView::clearRecord, this, &RecentFilesDialog::clearRecord);
    connect(view, &RecentFilesListView::updateList, this, &RecentFilesDialog::updateList);
    connect(view, &RecentFilesListView::openFile, this, &RecentFilesDialog::openFile);
    connect(view, &RecentFilesListView::deleteFile, this, &RecentFilesDialog::deleteFile);
}

RecentFilesDialog::~RecentFilesDialog()
{
    // Cancelled, not cleared from the pool: clearing deletes tasks that handles still
    // name.
    for (const TaskHandle& handle : qAsConst(m_active))
        handle.cancel();
    m_pool->waitForDone();
    delete m_pool;
    delete ui;
}

void RecentFilesDialog::start(Task* task)
{
    const quint64 serial = ++m_taskSerial;
    m_active.insert(serial, TaskHandle(task));
    connect(task, &Task::ended, this, [this, serial] { m_active.remove(serial); });
    m_pool->start(task);
}

RecentFilesListView* RecentFilesDialog::view() const
{
    return ui->recentFilesTreeView;
}

void RecentFilesDialog::setServerContent(const ServerContent& server)
{
    // Hidden, the rows of the device shown before go at once: they are never shown
    // under this one once the history is shown again.
    if (!isVisible() && server.uuid != m_server.uuid)
        m_model.setRecords({});
    m_server = server;
    m_fitColumns = true;
    m_model.setServerContent(server);
    ui->recentFilesTreeView->setIsClient(server.type == ProtocolValue::Client);
    updateList();
}

void RecentFilesDialog::updateList()
{
    // Hidden (another tab in front, the window in the tray), a reading is seen by nobody:
    // one is made when the history is shown.
    if (!isVisible()) {
        m_stale = true;
        return;
    }
    // Every ended transfer asks: a burst of a thousand must not read and lay out the
    // history a thousand times. One reading runs; asks meanwhile make one more after it.
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    auto* task = new GetRecentFiles(m_server, m_history);
    // A reading of the device shown before is dropped: the one asked meanwhile follows.
    connect(
        task, &GetRecentFiles::getRecentFilesEnd, this, [this, uuid = m_server.uuid](QList<RecentFilesContent> list) {
            if (uuid == m_server.uuid)
                updateListEnd(list);
        });
    connect(task, &Task::ended, this, [this] {
        m_reading = false;
        if (m_readAgain) {
            m_readAgain = false;
            updateList();
        }
    });
    start(task);
}

void RecentFilesDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_stale) {
        m_stale = false;
        updateList();
    }
}

void RecentFilesDialog::updateListEnd(QList<RecentFilesContent> list)
{
    // Newest first: the rows a reading adds are on top, and those in view are measured.
    int added = qMax(0, list.size() - m_model.rowCount());
    m_model.setRecords(list);
    RecentFilesListView* view = ui->recentFilesTreeView;
    view->scrollToTop();
    const QModelIndex last = view->indexAt(QPoint(0, view->viewport()->height() - 1));
    added = qMin(added, last.isValid() ? last.row() + 1 : MaxMeasuredRows);
    for (int column : {0, 1}) {
        if (m_fitColumns) {
            view->resizeColumnToContents(column); // the type's at least its title, in any language
            continue;
        }
        int width = 0;
        for (int row = 0; row < added; ++row)
            width = qMax(width, view->sizeHintForIndex(m_model.index(row, column)).width());
        if (width > view->columnWidth(column))
            view->setColumnWidth(column, width);
    }
    m_fitColumns = false;
    emit listUpdated(list.size());
}

void RecentFilesDialog::startGetThumb(QString uuid, QString filePath, qlonglong dateModified, QModelIndex index)
{
    auto* task = new NativeFileThumb(uuid, filePath, dateModified, index, m_history);
    // A reading that replaced the rows since makes the index stale: the answer is dropped.
    const QPersistentModelIndex row(index);
    connect(task, &NativeFileThumb::getThumbEnd, this,
        [this, row](const QByteArray& bytes, const QModelIndex&) { getThumbResult(bytes, row); });
    start(task);
}

void RecentFilesDialog::getThumbResult(QByteArray thumbdata, QModelIndex index)
{
    if (index.isValid())
        m_model.setData(index, thumbdata, Qt::DecorationRole);
}

bool RecentFilesDialog::deleteRecord()
{
    const QModelIndex current = ui->recentFilesTreeView->currentIndex();
    QuorvelClientDatabase* db = m_history;
    if (!current.isValid() || !db)
        return false;
    const bool deleted = db->deleteRecentFileRecord(current.data(RecentFilesModel::RowIdRole).toLongLong());
    updateList();
    return deleted;
}

bool RecentFilesDialog::clearRecord()
{
    QuorvelClientDatabase* db = m_history;
    const bool cleared = db && db->clearRecentFileRecord(m_server.uuid);
    updateList();
    return cleared;
}

void RecentFilesDialog::openFile()
{
    const QModelIndex current = ui->recentFilesTreeView->currentIndex();
    if (current.isValid())
        m_actions.open(m_server, current.data(RecentFilesModel::RemotePathRole).toString());
}

void RecentFilesDialog::deleteFile()
{
    const QModelIndex current = ui->recentFilesTreeView->currentIndex();
    if (current.isValid())
        m_actions.remove(m_server, current.data(RecentFilesModel::RemotePathRole).toString());
}
