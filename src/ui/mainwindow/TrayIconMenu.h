#pragma once

#include <QMenu>

// The tray icon's menu: show or hide the window, and quit.
class TrayIconMenu : public QMenu {
    Q_OBJECT
public:
    explicit TrayIconMenu(QWidget* parent = nullptr);

    QAction* showHideAction() const { return m_showHide; }
    QAction* quitAction() const { return m_quit; }

private:
    QAction* m_showHide;
    QAction* m_quit;
};
