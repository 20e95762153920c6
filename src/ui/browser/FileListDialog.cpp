#include "ui/browser/FileListDialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>

#include "quorvel/browse/RemoteFolder.h"
#include "ui/browser/FileListView.h"
#include "ui_FileListDialog.h"

FileListDialog::FileListDialog(ServerContent server, TransferQueue& transfers, DeviceActions& actions,
    const ClientSettings& settings, QuorvelClientDatabase* cache, const FileTypes& types, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::FileListDialog)
    , server(server)
    , folder(new RemoteFolder(server, transfers, actions, settings, cache, this))
    , model(types, QString(), server)
{
    qRegisterMetaType<ProgressContent>("ProgressContent");
    qRegisterMetaType<QList<FileContent>>("QList<FileContent>");
    ui->setupUi(this);
    uperDirButton = ui->UperDirButton;
    uperDirButton->setIcon(QIcon(QStringLiteral(":/drawable/back_to_father_dir.png")));
    filePathEdit = ui->FilePathEdit;
    statusLabel = ui->FileListStatus;
    statusLabel->hide();
    fileTreeView = ui->FileTreeView;

    fileTreeView->setRootIsDecorated(false);
    fileTreeView->setUniformRowHeights(true);
    fileTreeView->setModel(&model);
    addAction(fileTreeView->deleteAction());
    auto* up = new QAction(tr("上一层"), this);
    up->setShortcut(Qt::Key_Backspace);
    up->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(up);

    connect(uperDirButton, &QPushButton::clicked, this, &FileListDialog::uperDir);
    connect(up, &QAction::triggered, this, &FileListDialog::uperDir);
    connect(fileTreeView, &FileListView::findFile, this, &FileListDialog::findFile);
    connect(fileTreeView, &FileListView::downloadFile, this, &FileListDialog::downloadFile);
    connect(fileTreeView, &FileListView::openFile, this, &FileListDialog::openFile);
    connect(fileTreeView, &FileListView::deleteFile, this, &FileListDialog::deleteFile);
    connect(fileTreeView, &FileListView::orderFile, this, &FileListDialog::setFileOrder);
    connect(&model, &FileTreeModel::startGetThumb, this, &FileListDialog::startGetThumb);

    connect(folder, &RemoteFolder::listed, this, &FileListDialog::findFileEnd);
    connect(folder, &RemoteFolder::loadingChanged, this, &FileListDialog::showLoading);
    connect(folder, &RemoteFolder::listingFailed, this, [this](const QString& path, const QString& reason) {
        showStatus(tr("无法列出 %1: %2").arg(path.isEmpty() ? QStringLiteral("/") : path, reason));
    });
    connect(folder, &RemoteFolder::deleted, this, &FileListDialog::deleteFileEnd);
    connect(folder, &RemoteFolder::downloadProgress, this, &FileListDialog::updateProgress);
    connect(folder, &RemoteFolder::recentFilesChanged, this, &FileListDialog::updateRecentFileList);
    connect(folder, &RemoteFolder::thumbFetched, this, &FileListDialog::getThumbResult);

    fileTreeView->showOrder(folder->sortOrder());
    fileTreeView->resizeAllColumns();
    findFile(QString());
}

FileListDialog::~FileListDialog()
{
    // Before the model: the thumbnails still running report to it.
    delete folder;
    delete ui;
}

QString FileListDialog::currentPath() const
{
    return folder->currentPath();
}

bool FileListDialog::isLoading() const
{
    return folder->isLoading();
}

void FileListDialog::showEvent(QShowEvent* event)
{
    // The icon only for a browser shown as a window of its own: setting it on every tab
    // page costs more than the rest of the page (a stall while devices come in).
    if (isWindow() && !m_iconSet) {
        m_iconSet = true;
        setWindowIcon(QIcon(QStringLiteral(":/drawable/ic_launcher.png")));
    }
    QDialog::showEvent(event);
}

void FileListDialog::keyPressEvent(QKeyEvent* event)
{
    // Shown as a tab of the main window, Escape must not hide the page.
    if (event->key() == Qt::Key_Escape && !isWindow()) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void FileListDialog::showStatus(const QString& text)
{
    statusLabel->setText(text);
    // A screen reader names the line by its message.
    statusLabel->setAccessibleName(text.isEmpty() ? tr("状态") : text);
    statusLabel->setVisible(!text.isEmpty());
}

void FileListDialog::showLoading(bool loading)
{
    if (loading)
        showStatus(
            tr("正在加载 %1 ...").arg(folder->pendingPath().isEmpty() ? QStringLiteral("/") : folder->pendingPath()));
    else
        showStatus(QString());
    fileTreeView->setCursor(loading ? Qt::BusyCursor : Qt::ArrowCursor);
}

void FileListDialog::findFileEnd(QList<FileContent> fileList)
{
    model.setEntries(folder->currentPath(), fileList);
    // The device's root is "" to the protocol and "/" to a person.
    filePathEdit->setText(folder->currentPath().isEmpty() ? QStringLiteral("/") : folder->currentPath());
    fileTreeView->scrollToTop();
    fileTreeView->resizeAllColumns();
}

void FileListDialog::findFile(QString filePath)
{
    folder->list(filePath);
}

void FileListDialog::uperDir()
{
    folder->up();
}

void FileListDialog::setFileOrder(QString order)
{
    folder->setSortOrder(order);
}

void FileListDialog::downloadFile(QString filePath, qlonglong dateModified)
{
    QString reason;
    if (!folder->download(filePath, dateModified, &reason))
        showStatus(tr("无法下载 %1: %2").arg(filePath, reason));
}

void FileListDialog::openFile(QString filePath)
{
    folder->open(filePath);
}

void FileListDialog::deleteFile(QString filePath)
{
    folder->remove(filePath);
}

void FileListDialog::deleteFileEnd(bool)
{
    // The folder refreshes itself after a confirmed delete; the notice is the task's.
}

void FileListDialog::updateProgress(ProgressContent content)
{
    emit updateDownloadProgress(content);
}

void FileListDialog::startGetThumb(QString filePath, qlonglong dateModified, QModelIndex index)
{
    folder->fetchThumb(filePath, dateModified, index);
}

void FileListDialog::getThumbResult(bool result, QByteArray byteArray, QModelIndex index)
{
    if (result)
        model.setData(index, byteArray, Qt::DecorationRole);
    else
        model.thumbNotFetched(index);
}
