#pragma once

#include <QDialog>
#include <QHash>
#include <QModelIndex>

#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/TaskHandle.h"
#include "ui/history/RecentFilesModel.h"

namespace Ui {
class RecentFilesDialog;
}
class DeviceActions;
class QThreadPool;
class QuorvelClientDatabase;
class RecentFilesListView;
class Task;

// The transfer history of the selected device, with thumbnails of local images. Its
// pool reads the history and makes thumbnails; open and delete on the device go to the
// application's actions.
class RecentFilesDialog : public QDialog {
    Q_OBJECT
public:
    // history: the records shown and their thumbnails; actions: where open and delete
    // go. Both outlive the dialog. types: the icons of records without a thumbnail.
    RecentFilesDialog(
        QuorvelClientDatabase* history, DeviceActions& actions, const FileTypes& types, QWidget* parent = nullptr);
    // Waits for the pool's tasks, which report here.
    ~RecentFilesDialog() override;

    // Shows this device's history (read again at once, or when shown if hidden).
    void setServerContent(const ServerContent& server);
    RecentFilesListView* view() const;
    RecentFilesModel* model() { return &m_model; }

public slots:
    void updateList();

signals:
    // A reading of the history has been shown (tests, the window's status).
    void listUpdated(int count);

private slots:
    void startGetThumb(QString uuid, QString filePath, qlonglong dateModified, QModelIndex index);
    void getThumbResult(QByteArray thumbdata, QModelIndex index);
    bool deleteRecord();
    bool clearRecord();
    void openFile();
    void updateListEnd(QList<RecentFilesContent> list);
    void deleteFile();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void start(Task* task);

    QuorvelClientDatabase* m_history;
    DeviceActions& m_actions;
    Ui::RecentFilesDialog* ui;
    RecentFilesModel m_model;
    ServerContent m_server;
    QThreadPool* m_pool;
    // What runs or waits on the pool, stoppable until it ends.
    QHash<quint64, TaskHandle> m_active;
    quint64 m_taskSerial = 0;
    // One reading at a time; asks meanwhile make one more after it.
    bool m_reading = false;
    bool m_readAgain = false;
    // Asked while hidden: read when shown.
    bool m_stale = false;
    // The columns fit the first reading of a device; later readings only widen them for
    // the rows they add, so a width the user chose stays.
    bool m_fitColumns = true;
    // A bound for a view not laid out yet, whose rows in view are unknown.
    static constexpr int MaxMeasuredRows = 100;
};
