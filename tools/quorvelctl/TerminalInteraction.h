#pragma once

#include <QByteArray>
#include <QList>
#include <functional>

#include "platform/UserInteraction.h"

class CtlOutput;
class QSocketNotifier;

// Asks on the terminal: questions on standard error, answers as lines on standard input.
// Offers are asked without blocking the event loop (requests keep being answered while
// a question is open); the end of standard input declines whatever is still asked.
class TerminalInteraction : public UserInteraction {
public:
    explicit TerminalInteraction(CtlOutput& out);
    ~TerminalInteraction() override;

    void warning(const QString& title, const QString& text) override;
    void askAcceptOffer(const ServerContent& from, const QString& fileName, std::function<void(bool)> answer) override;
    bool confirmCast(const QString& deviceName) override;
    QString askCastPassword(const QString& defaultPassword, const QString& title, const QString& content) override;

    // Standard input has ended: nothing more can be answered.
    bool inputEnded() const { return m_inputEnded; }

private:
    void onInput();
    // One line read with blocking reads; without echo on a terminal when asked.
    QString readLine(bool echo);

    CtlOutput& m_out;
    QSocketNotifier* m_notifier = nullptr;
    QByteArray m_typed;
    QList<std::function<void(bool)>> m_waiting;
    bool m_inputEnded = false;
};
