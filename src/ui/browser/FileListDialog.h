#pragma once

#include <QDialog>
#include <QList>
#include <QModelIndex>

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "ui/browser/FileTreeModel.h"

class FileListView;
namespace Ui {
class FileListDialog;
}
class ClientSettings;
class DeviceActions;
class QuorvelClientDatabase;
class TransferQueue;
class QLabel;
class QLineEdit;
class QPushButton;
class RemoteFolder;

// The files of one device, one folder at a time: walk into folders and up, choose the
// device's sort order, download, open on the device's screen, delete; image rows show
// thumbnails. The work is the core's RemoteFolder; this is its view.
class FileListDialog : public QDialog {
    Q_OBJECT
public:
    // Downloads go to transfers, into the settings' download folder; open and delete to
    // actions; thumbnails are kept in cache. All four outlive the dialog. types: the
    // rows' icons.
    FileListDialog(ServerContent server, TransferQueue& transfers, DeviceActions& actions,
        const ClientSettings& settings, QuorvelClientDatabase* cache, const FileTypes& types,
        QWidget* parent = nullptr);
    ~FileListDialog() override;

    QString currentPath() const;
    bool isLoading() const;

signals:
    void updateDownloadProgress(ProgressContent content);
    // A download ended well: the history has a new entry.
    void updateRecentFileList();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private slots:
    void findFileEnd(QList<FileContent> fileList);
    void findFile(QString filePath);
    void uperDir();
    void downloadFile(QString filePath, qlonglong dateModified);
    void openFile(QString filePath);
    void deleteFile(QString filePath);
    void deleteFileEnd(bool result);
    void updateProgress(ProgressContent content);
    void startGetThumb(QString filePath, qlonglong dateModified, QModelIndex index);
    void getThumbResult(bool result, QByteArray byteArray, QModelIndex index);
    void setFileOrder(QString order);

private:
    void showLoading(bool loading);
    void showStatus(const QString& text);

    Ui::FileListDialog* ui;
    ServerContent server;
    RemoteFolder* folder;
    FileTreeModel model;
    QPushButton* uperDirButton;
    QLineEdit* filePathEdit;
    QLabel* statusLabel;
    FileListView* fileTreeView;
    bool m_iconSet = false;
};
