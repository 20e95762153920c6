#include "ui/transfers/ProgressDockWidget.h"

#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QScrollBar>

#include "quorvel/services/TransferQueue.h"
#include "quorvel/tasks/TransferCounter.h"
#include "ui/transfers/ProgressWidget.h"
#include "ui_ProgressDockWidget.h"

namespace {
const char* const Tag = "ProgressDockWidget";
// Work per slice, well under a frame, so that the window keeps answering.
constexpr qint64 SliceNs = 4 * 1000 * 1000;
} // namespace

ProgressDockWidget::ProgressDockWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::ProgressDockWidget)
{
    ui->setupUi(this);
    connect(ui->btnClear, &QPushButton::clicked, this, &ProgressDockWidget::clear, Qt::UniqueConnection);
    // The panel's own colour only: tooltips and message boxes of its rows keep the
    // application's look.
    setStyleSheet(QStringLiteral("ProgressDockWidget, #scrollAreaWidgetContents, #headerWidget, #layoutWidget "
                                 "{ background-color:#EDFAFEFF; } "
                                 "#layoutWidget::item { padding: 0px; }"));
    QListWidget* list = ui->layoutWidget;
    // Rows are as wide as the list: a scroll bar across would hide their close buttons.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ui->scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);
    m_showPending.setSingleShot(true);
    m_showPending.setInterval(0);
    connect(&m_showPending, &QTimer::timeout, this, &ProgressDockWidget::showPending);
}

ProgressDockWidget::~ProgressDockWidget()
{
    clear();
    delete ui;
}

int ProgressDockWidget::nextProgressId()
{
    return TransferCounter::next();
}

void ProgressDockWidget::follow(TransferQueue* queue)
{
    if (m_queue)
        disconnect(m_queue, nullptr, this, nullptr);
    m_queue = queue;
    if (!queue)
        return;
    connect(queue, &TransferQueue::progress, this, &ProgressDockWidget::uploadProgressUpdated);
    connect(queue, &TransferQueue::transferEnded, this,
        [this](const ProgressContent& last, const TaskOutcome&) { uploadProgressUpdated(last); });
}

void ProgressDockWidget::retry(const ProgressContent& failed)
{
    if (!m_queue) {
        qCritical("[E][%s] No transfer queue to retry %s on.", Tag, qUtf8Printable(failed.nativePath));
        return;
    }
    m_queue->retry(failed);
}

ProgressWidget* ProgressDockWidget::row(int id) const
{
    QMutexLocker lock(&m_mutex);
    QListWidgetItem* item = m_rows.value(id);
    return item ? qobject_cast<ProgressWidget*>(ui->layoutWidget->itemWidget(item)) : nullptr;
}

void ProgressDockWidget::fitRow(QListWidgetItem* item)
{
    auto* row = qobject_cast<ProgressWidget*>(ui->layoutWidget->itemWidget(item));
    if (!row)
        return;
    // The style sheet's font decides the lines: measure with it.
    row->ensurePolished();
    const int width = ui->layoutWidget->viewport()->width();
    item->setSizeHint(QSize(width, row->heightForWidth(width)));
    item->setData(Qt::AccessibleTextRole, row->accessibleName());
    item->setData(Qt::AccessibleDescriptionRole, row->stateText());
}

bool ProgressDockWidget::eventFilter(QObject* watched, QEvent* event)
{
    QListWidget* list = ui->layoutWidget;
    if (watched == list->viewport() && event->type() == QEvent::Resize) {
        QMutexLocker lock(&m_mutex);
        for (QListWidgetItem* item : qAsConst(m_rows))
            fitRow(item);
    } else if (watched == list && (event->type() == QEvent::KeyPress || event->type() == QEvent::ContextMenu)) {
        // The keyboard's way to a row: its menu (Menu key, Shift+F10) and Delete to close it.
        auto* row = qobject_cast<ProgressWidget*>(list->itemWidget(list->currentItem()));
        if (!row)
            return false;
        if (event->type() == QEvent::ContextMenu) {
            row->popupMenu(row->mapToGlobal(row->rect().center()));
            return true;
        }
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete)
            return row->closeRow();
        if (key->key() == Qt::Key_F10 && key->modifiers() == Qt::ShiftModifier) {
            row->popupMenu(row->mapToGlobal(row->rect().center()));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

int ProgressDockWidget::rowCount() const
{
    return ui->layoutWidget->count();
}

void ProgressDockWidget::uploadProgressUpdated(ProgressContent content)
{
    show();
    QMutexLocker lock(&m_mutex);
    const bool known = content.progress >= ProgressContent::Failed && content.progress <= ProgressContent::Done;
    if (!known) {
        qCritical("[E][%s] Wrong parameter while updating progress widget", Tag);
        // The row is made all the same, as it was: without a percentage.
        if (row(content.id) || m_pending.contains(content.id))
            return;
        content.progress = 0;
    }
    auto pending = m_pending.find(content.id);
    if (pending == m_pending.end()) {
        m_pending.insert(content.id, content);
        m_pendingOrder.append(content.id);
    } else if (!pending->isFinal()) {
        // After the last report nothing changes the row but a new one after a close.
        *pending = content;
    }
    if (!m_showPending.isActive())
        m_showPending.start();
}

void ProgressDockWidget::showPending()
{
    QMutexLocker lock(&m_mutex);
    QElapsedTimer slice;
    slice.start();
    int done = 0;
    while (done < m_pendingOrder.size() && slice.nsecsElapsed() < SliceNs)
        apply(m_pending.take(m_pendingOrder.at(done++)));
    m_pendingOrder.remove(0, done);
    if (!m_pendingOrder.isEmpty())
        m_showPending.start();
}

void ProgressDockWidget::apply(const ProgressContent& content)
{
    const QString fileName = content.nativePath.split(QLatin1Char('/')).last();
    const QString prefix = content.type == ProgressContent::Upload ? tr("上传文件:\"")
        : content.type == ProgressContent::Download                ? tr("下载文件:\"")
                                                                   : tr("机密上传:\"");
    ProgressWidget* row = this->row(content.id);
    if (!row) {
        row = new ProgressWidget(
            content.server, content.nativePath, content.type == ProgressContent::Download, ui->layoutWidget);
        row->setPaths(content.nativePath, content.remotePath);
        row->setDeviceActions(m_actions);
        row->setType(content.type);
        row->setProgress(0, 100, 0);
        row->setText(prefix + fileName + QStringLiteral("\"."));
        row->setCloseVisible(false);
        auto* item = new QListWidgetItem;
        ui->layoutWidget->insertItem(0, item);
        ui->layoutWidget->setRowWidget(item, row);
        m_rows.insert(content.id, item);
        row->setId(content.id);
        connect(
            row, &ProgressWidget::destroyed, this, &ProgressDockWidget::progressWidgetDestroyed, Qt::UniqueConnection);
        connect(row, &ProgressWidget::retryRequested, this, &ProgressDockWidget::retry);
    }
    if (content.progress == ProgressContent::Failed) {
        row->setText(prefix + fileName + tr("\"失败. 原因: ") + content.text);
        row->setToolTip(content.text);
        row->setFailed(true);
        row->setCloseVisible(true);
        row->setDateModified(content.dateModified);
        row->setRedo();
    } else if (content.progress == ProgressContent::Done) {
        row->setProgress(0, 100, 100);
        row->setText(prefix + fileName + tr("\"成功."));
        row->setToolTip(QString());
        row->setCloseVisible(true);
    } else {
        row->setProgress(0, 100, content.progress);
        row->setRate(content.bytes, content.totalBytes, content.speed);
    }
    fitRow(m_rows.value(content.id));
}

void ProgressDockWidget::clear()
{
    QMutexLocker lock(&m_mutex);
    // Gone without a word: the panel forgets the rows itself. All at once, as the list
    // takes one row out in time that grows with the rows left.
    for (QListWidgetItem* item : qAsConst(m_rows)) {
        if (QWidget* row = ui->layoutWidget->itemWidget(item))
            row->disconnect(this);
    }
    ui->layoutWidget->clear();
    m_rows.clear();
    // Reports that came before the click belong to the rows it removed.
    m_pending.clear();
    m_pendingOrder.clear();
}

void ProgressDockWidget::progressWidgetDestroyed(int id)
{
    QMutexLocker lock(&m_mutex);
    if (m_pending.remove(id))
        m_pendingOrder.removeOne(id);
    QListWidgetItem* item = m_rows.value(id);
    if (!item)
        return;
    ui->layoutWidget->takeItem(ui->layoutWidget->row(item));
    m_rows.remove(id);
    delete item;
}
