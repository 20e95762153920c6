#pragma once

#include <QWidget>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"

namespace Ui {
class ProgressWidget;
}
class DeviceActions;
class QAction;
class QMenu;

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
    // Where opening and deleting the file on the device go; it outlives the row. Without
    // it those entries do nothing.
    void setDeviceActions(DeviceActions* actions) { m_actions = actions; }
    void setProgress(int minimum, int maximum, int value);
    // Wrapped to the row's width, at word boundaries where there are any, else between
    // characters; the row grows to show every line.
    void setText(const QString& text);
    QString text() const;
    void setCloseVisible(bool visible);
    bool isCloseVisible() const;
    // The ring turns red after a failure.
    void setFailed(bool failed);
    // After a failure the menu offers only the retry.
    void setRedo();
    // Moved bytes, speed and time left, in the tooltip.
    void setRate(qint64 bytes, qint64 totalBytes, double speed);

    // The row's state in words for screen readers: running, done or failed, the
    // percentage, and the rate or the reason.
    QString stateText() const;
    // Opens the row's menu at a point of the screen (mouse or keyboard).
    void popupMenu(const QPoint& globalPos);
    // The close button's work, for the keyboard; false while the transfer runs.
    bool closeRow();

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

    // The lines that text takes in width pixels of font.
    static QStringList wrapped(const QString& text, const QFont& font, int width);
    static QString rateText(qint64 bytes, qint64 totalBytes, double speed);

signals:
    void destroyed(int id);
    // The retry was chosen for this failed transfer; the panel starts it again.
    void retryRequested(const ProgressContent& failed);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void openFileAtNative();
    void deleteFileAtServer();
    void openDirTriggered();
    void openActionTriggered();
    void redoActionTriggered();
    void close();

private:
    int textWidth(int rowWidth) const;
    QString shownText(int width) const;
    void rewrap();
    // Says on screen what a desktop action could not do.
    void tellFailure(const QString& what);

    Ui::ProgressWidget* ui;
    QString m_text;
    QString m_rate;
    QString m_reason;
    ServerContent m_server;
    DeviceActions* m_actions = nullptr;
    QString m_nativePath;
    QString m_remotePath;
    bool m_isDownload;
    QMenu* m_menu = nullptr;
    qint64 m_dateModified = 0;
    int m_id = -1;
    int m_type;
    QAction* m_openNative;
    QAction* m_openDir;
    QAction* m_deleteRemote;
    QAction* m_openRemote;
    QAction* m_redo = nullptr;
};
