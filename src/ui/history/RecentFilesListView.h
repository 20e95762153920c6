#pragma once

#include <QMenu>
#include <QTreeView>

class QAction;

// The history list with its context menu; the device actions are off for another PC.
class RecentFilesListView : public QTreeView {
    Q_OBJECT
public:
    explicit RecentFilesListView(QWidget* parent = nullptr);

    void setIsClient(bool isClient);
    bool isClient() const { return m_isClient; }
    void resizeAllColumns();
    // "删除记录", with the Delete key; the dialog takes it too so the key works there.
    QAction* deleteAction() const { return m_delete; }

signals:
    bool deleteRecord();
    bool clearRecord();
    bool openFile();
    void updateList();
    void deleteFile();

public slots:
    void menuTriggered(QAction* action);
    void deleteActionTriggered();
    void openActionTriggered();
    void updateActionTriggered();
    void clearActionTriggered();
    void openFileAtNative();
    void deleteFileAtServer();
    void openDirTriggered();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QString currentNativePath() const;

    QMenu m_menu;
    QAction* m_delete;
    QAction* m_deleteRemote;
    QAction* m_openRemote;
    bool m_isClient = false;
};
