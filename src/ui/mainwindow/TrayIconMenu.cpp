#include "ui/mainwindow/TrayIconMenu.h"

#include <QIcon>

TrayIconMenu::TrayIconMenu(QWidget* parent)
    : QMenu(parent)
{
    // The casting program's name, as it is known to users of the rooms.
    m_showHide = addAction(QIcon(QStringLiteral(":/tray_icon.png")), QStringLiteral("Vantrope"));
    addSeparator();
    m_quit = addAction(tr("退出"));
}
