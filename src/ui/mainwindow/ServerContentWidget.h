#pragma once

#include <QStringList>
#include <QWidget>

#include "quorvel/protocol/ServerContent.h"

namespace Ui {
class ServerContentWidget;
}

// The card of the selected device: its kind, its details in the tooltip; files dropped
// on it are to be uploaded, a double click opens a device's files.
class ServerContentWidget : public QWidget {
    Q_OBJECT
public:
    explicit ServerContentWidget(QWidget* parent = nullptr);
    ~ServerContentWidget() override;

    // Shows the device; an empty record clears the card.
    void setServer(const ServerContent& server);
    ServerContent server() const { return m_server; }

signals:
    void filePathDroped(QStringList pathList);
    void fileList(ServerContent server);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void setHighlighted(bool on);

    Ui::ServerContentWidget* ui;
    ServerContent m_server;
};
