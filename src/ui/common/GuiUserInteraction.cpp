#include "ui/common/GuiUserInteraction.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>

#include "quorvel/protocol/ServerContent.h"

QWidget* GuiUserInteraction::shownWindow() const
{
    // Boxes open over the window while a person sees it; on their own while it is in
    // the tray or minimised.
    return m_window && m_window->isVisible() && !m_window->isMinimized() ? m_window.data() : nullptr;
}

void GuiUserInteraction::warning(const QString& title, const QString& text)
{
    qWarning("[W][%s] %s", "GuiUserInteraction", qUtf8Printable(text));
    // Boxes are built on the main thread whatever thread reports; a modeless box keeps
    // start-up and the reporting task going.
    QMetaObject::invokeMethod(
        qApp,
        [this, title, text] {
            auto* box = new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, shownWindow());
            box->setAttribute(Qt::WA_DeleteOnClose);
            box->setModal(false);
            box->show();
        },
        Qt::QueuedConnection);
}

void GuiUserInteraction::askAcceptOffer(
    const ServerContent& from, const QString& fileName, std::function<void(bool)> answer)
{
    // The task bar entry asks for attention (the window manager's urgency hint) until the
    // window is active again.
    if (m_window)
        QApplication::alert(m_window, 0);
    const QString who = from.name.isEmpty() ? from.address.toString() : from.name;
    const QString text = QApplication::translate("MainWindow", "是否下载来自 ") + who
        + QApplication::translate("MainWindow", " 的文件：") + fileName + QApplication::translate("MainWindow", "?");
    // Over the window when it is shown; on its own while the window is in the tray.
    QWidget* parent = shownWindow();
    auto* box = new QMessageBox(QMessageBox::Question, QApplication::translate("MainWindow", "提示"), text,
        QMessageBox::Yes | QMessageBox::No, parent);
    box->setTextFormat(Qt::PlainText); // the name is the peer's text, never markup
    // Without a default button: a stray Enter must not take a file (nor decline it).
    box->setDefaultButton(QMessageBox::NoButton);
    for (QAbstractButton* button : box->buttons()) {
        if (auto* push = qobject_cast<QPushButton*>(button))
            push->setAutoDefault(false);
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    // The answer comes when the box is closed; the caller's thread does not wait for it.
    QObject::connect(box, &QMessageBox::finished, box, [answer](int result) { answer(result == QMessageBox::Yes); });
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    box->raise();
    box->activateWindow();
}

void GuiUserInteraction::askAcceptOffers(const QList<OfferedFile>& offers, std::function<void(QList<bool>)> answer)
{
    if (offers.size() == 1) {
        askAcceptOffer(offers.first().from, offers.first().fileName, [answer](bool take) { answer({take}); });
        return;
    }
    // Offers that came while a question was open: one question for all of them.
    if (m_window)
        QApplication::alert(m_window, 0);
    QStringList lines;
    for (const OfferedFile& offer : offers) {
        const QString who = offer.from.name.isEmpty() ? offer.from.address.toString() : offer.from.name;
        lines.append(QApplication::translate("MainWindow", "%1（来自 %2）").arg(offer.fileName, who));
    }
    const QString text = QApplication::translate("MainWindow", "是否下载以下 %1 个文件？\n").arg(offers.size())
        + lines.join(QLatin1Char('\n'));
    QWidget* parent = m_window && m_window->isVisible() ? m_window.data() : nullptr;
    auto* box = new QMessageBox(QMessageBox::Question, QApplication::translate("MainWindow", "提示"), text,
        QMessageBox::Yes | QMessageBox::No, parent);
    box->setTextFormat(Qt::PlainText);
    box->setDefaultButton(QMessageBox::NoButton);
    for (QAbstractButton* button : box->buttons()) {
        if (auto* push = qobject_cast<QPushButton*>(button))
            push->setAutoDefault(false);
    }
    box->setAttribute(Qt::WA_DeleteOnClose);
    const int count = offers.size();
    QObject::connect(box, &QMessageBox::finished, box, [answer, count](int result) {
        QList<bool> all;
        for (int i = 0; i < count; ++i)
            all.append(result == QMessageBox::Yes);
        answer(all);
    });
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    box->raise();
    box->activateWindow();
}

UserInteraction::ExistingFile GuiUserInteraction::askExistingFile(const QString& path)
{
    QWidget* parent = m_window && m_window->isVisible() ? m_window.data() : nullptr;
    QMessageBox box(QMessageBox::Question, QApplication::translate("MainWindow", "提示"),
        QApplication::translate("MainWindow", "%1 已存在。替换它，还是保留两个文件？").arg(path), QMessageBox::NoButton,
        parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* replace = box.addButton(QApplication::translate("MainWindow", "替换"), QMessageBox::AcceptRole);
    QPushButton* keep = box.addButton(QApplication::translate("MainWindow", "保留两者"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QApplication::translate("MainWindow", "取消"), QMessageBox::RejectRole);
    // Keeping both loses nothing: it is what Enter does.
    box.setDefaultButton(keep);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == replace)
        return ExistingFile::Replace;
    if (box.clickedButton() == keep)
        return ExistingFile::KeepBoth;
    return ExistingFile::Cancel;
}

bool GuiUserInteraction::confirmCast(const QString& deviceName)
{
    QMessageBox box(QMessageBox::Information, QApplication::translate("CastControllerWidget", "Vantrope"),
        QApplication::translate("CastControllerWidget", "是否投射镜像到\n%1").arg(deviceName),
        QMessageBox::Ok | QMessageBox::Cancel, shownWindow());
    box.setDefaultButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Ok;
}

QString GuiUserInteraction::askCastPassword(
    const QString& defaultPassword, const QString& title, const QString& content)
{
    bool ok = false;
    const QString text
        = QInputDialog::getText(shownWindow(), title, content, QLineEdit::Password, defaultPassword, &ok);
    return ok ? text : QString();
}
