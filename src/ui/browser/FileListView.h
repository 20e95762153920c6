#pragma once

#include <QMenu>
#include <QTreeView>

// The rows of a device folder with their menu: a double click (or Enter) on a folder
// walks into it; the menu refreshes, downloads, opens on the device, deletes and sorts.
class FileListView : public QTreeView {
    Q_OBJECT
public:
    explicit FileListView(QWidget* parent = nullptr);

    // The name takes the room the other columns leave; size, time and type are as wide
    // as their longest possible text, so the view never scrolls sideways.
    void resizeAllColumns();
    // Shows the device-side order in the header (a header click chooses one).
    void showOrder(const QString& order);
    QMenu* menu() { return &m_menu; }
    QAction* deleteAction() const { return m_delete; }

signals:
    void findFile(QString filePath);
    void downloadFile(QString filePath, qlonglong dateModified);
    void openFile(QString filePath);
    void deleteFile(QString filePath);
    void orderFile(QString order);

public slots:
    void downloadActionTriggered();
    void openActionTriggered();
    void deleteActionTriggered();
    void orderByNameIncreaseActionTriggered();
    void orderByNameDecreaseActionTriggered();
    void orderBySizeIncreaseActionTriggered();
    void orderBySizeDecreaseActionTriggered();
    void orderByDateModifiedIncreaseActionTriggered();
    void orderByDateModifiedDecreaseActionTriggered();
    void refreshList();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void onHeaderOrder(int section, Qt::SortOrder order);
    bool isDir(const QModelIndex& index) const;
    // Enables the file actions for the row and shows the menu at pos (global).
    void showMenu(const QModelIndex& index, const QPoint& pos);
    // The current row's entry, in column 0; invalid without one.
    QModelIndex currentEntry() const;

    QMenu m_menu;
    QAction* m_download;
    QAction* m_open;
    QAction* m_delete;
    QString m_order;
};
