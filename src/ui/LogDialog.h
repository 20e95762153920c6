#pragma once

#include <QDialog>

namespace Ui {
class LogDialog;
}
class CustomMsgHandler;

// The debug window: every log line of the client, coloured by its level letter.
class LogDialog : public QDialog {
    Q_OBJECT
public:
    explicit LogDialog(QWidget* parent = nullptr);
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
