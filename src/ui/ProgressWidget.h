#pragma once

#include <QMenu>
#include <QWidget>

#include "ProgressContent.h"
#include "ServerContent.h"

namespace Ui {
class ProgressWidget;
}
class QAction;

// One transfer in the progress panel: the spinning indicator, what moves and how it
// ended; its menu opens the file here or on the device, or retries a failed transfer.
class ProgressWidget : public QWidget {
    Q_OBJECT
public:
    ProgressWidget(const ServerContent& server, const QString& nativePath, bool isDownload, QWidget* parent = nullptr);
    ~ProgressWidget() override;

    void setPaths(const QString& nativePath, const QString& remotePath);
    void setId(int id);
    int id() const { return m_id; }
    // The kind of transfer (ProgressContent::Type), so that a retry goes to the same area.
    void setType(int type) { m_type = type; }
    void setDateModified(qint64 dateModified);
    void setProgress(int minimum, int maximum, int value);
    // Shown with a line break after 23 characters, then after 46, 92, ...
    void setText(const QString& text);
    QString text() const;
    void setCloseVisible(bool visible);
    // After a failure the menu offers only the retry.
    void setRedo();
    // Moved bytes, speed and time left, in the tooltip.
    void setRate(qint64 bytes, qint64 totalBytes, double speed);

    // The texts of setText() and setRate().
    static QString wrapped(QString text);
    static QString rateText(qint64 bytes, qint64 totalBytes, double speed);

signals:
    void destroyed(int id);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private slots:
    void openFileAtNative();
    void deleteFileAtServer();
    void openDirTriggered();
    void openActionTriggered();
    void redoActionTriggered();
    void close();

private:
    Ui::ProgressWidget* ui;
    ServerContent m_server;
    QString m_nativePath;
    QString m_remotePath;
    bool m_isDownload;
    QMenu m_menu;
    qint64 m_dateModified = 0;
    int m_id = -1;
    int m_type;
    QAction* m_openNative;
    QAction* m_openDir;
    QAction* m_deleteRemote;
    QAction* m_openRemote;
    QAction* m_redo = nullptr;
};
