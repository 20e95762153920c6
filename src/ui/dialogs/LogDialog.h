#pragma once

#include <QDialog>

namespace Ui {
class LogDialog;
}
class CustomMsgHandler;

// The debug window: the client's last MaxLines log lines, coloured by their level letter
// and shown as text (a peer's words in a line are never markup).
class LogDialog : public QDialog {
    Q_OBJECT
public:
    static constexpr int MaxLines = 5000;

    // The log file goes to logFolder (the log writer's default when empty).
    explicit LogDialog(QWidget* parent = nullptr, const QString& logFolder = QString());
    ~LogDialog() override;

    CustomMsgHandler* handler() const { return m_handler; }

    // The rich-text line that appendMsg adds for msg.
    static QString colouredLine(const QString& msg);

public slots:
    void appendMsg(QString msg);

private:
    Ui::LogDialog* ui;
    CustomMsgHandler* m_handler = nullptr;
};
