#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/UserInteraction.h"

// Talks to the user with the window's dialogs. Warnings never block the caller; the
// questions are modal boxes on the main thread.
class GuiUserInteraction : public UserInteraction {
public:
    // The window the questions belong to; alerted when a question comes.
    void setWindow(QWidget* window) { m_window = window; }

    void warning(const QString& title, const QString& text) override;
    void askAcceptOffer(const ServerContent& from, const QString& fileName, std::function<void(bool)> answer) override;
    void askAcceptOffers(const QList<OfferedFile>& offers, std::function<void(QList<bool>)> answer) override;
    ExistingFile askExistingFile(const QString& path) override;
    bool confirmCast(const QString& deviceName) override;
    QString askCastPassword(const QString& defaultPassword, const QString& title, const QString& content) override;

private:
    QWidget* shownWindow() const;

    QPointer<QWidget> m_window;
};
