#include "GuiUserInteraction.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QMetaObject>

void GuiUserInteraction::warning(const QString& title, const QString& text)
{
    qWarning("[W][%s] %s", "GuiUserInteraction", qUtf8Printable(text));
    // Boxes are built on the main thread whatever thread reports; a modeless box keeps
    // start-up and the reporting task going.
    QMetaObject::invokeMethod(
        qApp,
        [title, text] {
            auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok);
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        },
        Qt::QueuedConnection);
}
