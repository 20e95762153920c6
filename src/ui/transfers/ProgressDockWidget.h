#pragma once

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QPointer>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include "quorvel/tasks/ProgressContent.h"

namespace Ui {
class ProgressDockWidget;
}
class DeviceActions;
class QListWidgetItem;
class ProgressWidget;
class TransferQueue;

// The transfer progress panel: one row per upload or download since the start, newest
// on top. It also hands out the process-wide transfer numbers.
//
// Reports are taken at once and shown in slices of a few milliseconds: a hundred
// transfers that report together queue thousands of calls, which the event loop runs
// in one go, so the rows are made and updated between them, the latest report of each
// transfer only.
class ProgressDockWidget : public QWidget {
    Q_OBJECT
public:
    explicit ProgressDockWidget(QWidget* parent = nullptr);
    ~ProgressDockWidget() override;

    static int nextProgressId();

    // Shows every transfer of the queue, and starts retries on it.
    void follow(TransferQueue* queue);
    // Starts a failed transfer again on the followed queue; the new transfer reports
    // under a new number, so gets a new row.
    void retry(const ProgressContent& failed);
    // Where the rows' open and delete on the device go; it outlives the panel.
    void setDeviceActions(DeviceActions* actions) { m_actions = actions; }

    // The row of a transfer, null when there is none (yet: reports show within a slice).
    ProgressWidget* row(int id) const;
    int rowCount() const;

public slots:
    void uploadProgressUpdated(ProgressContent content);
    void clear();

private slots:
    void progressWidgetDestroyed(int id);
    void showPending();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply(const ProgressContent& content);
    // The row as wide as the list and as high as its text; its words for screen readers.
    void fitRow(QListWidgetItem* item);

    Ui::ProgressDockWidget* ui;
    mutable QRecursiveMutex m_mutex;
    QMap<int, QListWidgetItem*> m_rows;
    QPointer<TransferQueue> m_queue;
    DeviceActions* m_actions = nullptr;
    // Reports not shown yet: the latest of each transfer, in the order they first came.
    QHash<int, ProgressContent> m_pending;
    QVector<int> m_pendingOrder;
    QTimer m_showPending;
};
