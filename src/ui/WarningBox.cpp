#include "WarningBox.h"

#include <QCoreApplication>
#include <QMessageBox>

void WarningBox::show(QWidget* parent, const QString& text, const QString& reason)
{
    QMessageBox box(
        QMessageBox::Warning, QCoreApplication::translate("WarningBox", "错误"), text, QMessageBox::Ok, parent);
    box.setInformativeText(reason);
    box.exec();
}
