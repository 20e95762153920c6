#include "ui/common/WarningBox.h"

#include <QApplication>
#include <QMessageBox>

void WarningBox::show(QWidget* parent, const QString& text, const QString& reason)
{
    // Over the top-level window it concerns, never inside a styled panel (whose style
    // sheet would reach the box's buttons).
    parent = parent ? parent->window() : QApplication::activeWindow();
    QMessageBox box(
        QMessageBox::Warning, QCoreApplication::translate("WarningBox", "错误"), text, QMessageBox::Ok, parent);
    box.setInformativeText(reason);
    box.exec();
}
