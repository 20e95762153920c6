#include "ui/dialogs/LogDialog.h"

#include <QScrollBar>
#include <QTextCursor>

#include "log/CustomMsgHandler.h"
#include "ui_LogDialog.h"

LogDialog::LogDialog(const QString& logFolder, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::LogDialog)
{
    ui->setupUi(this);
    connect(ui->clearButton, &QPushButton::clicked, ui->logTextEdit, &QTextEdit::clear);
    ui->logTextEdit->document()->setMaximumBlockCount(MaxLines); // the oldest lines go
    m_handler = new CustomMsgHandler(logFolder, QStringLiteral("QuorvelClient"), qApp);
    connect(m_handler, &CustomMsgHandler::message, this, &LogDialog::appendMsg, Qt::QueuedConnection);
    m_handler->install();
}

LogDialog::~LogDialog()
{
    m_handler->uninstall();
    disconnect(m_handler, &CustomMsgHandler::message, this, &LogDialog::appendMsg);
    delete m_handler;
    delete ui;
}

QString LogDialog::colouredLine(const QString& msg)
{
    const QString text = msg.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
    if (msg.size() < 2)
        return text;
    switch (msg.at(1).unicode()) {
    case 'E': return QStringLiteral("<font color=red>%1</font>").arg(text);
    case 'W': return QStringLiteral("<font color=orange>%1</font>").arg(text);
    case 'I': return QStringLiteral("<font color=green>%1</font>").arg(text);
    case 'D': return QStringLiteral("<font color=blue>%1</font>").arg(text);
    default: return text;
    }
}

void LogDialog::appendMsg(QString msg)
{
    // Always as HTML (append() guesses, and takes escaped text for plain), one paragraph
    // per line, in the default format (not the previous line's colour).
    QScrollBar* bar = ui->logTextEdit->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    QTextCursor cursor(ui->logTextEdit->document());
    cursor.movePosition(QTextCursor::End);
    if (!ui->logTextEdit->document()->isEmpty())
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
    cursor.setCharFormat(QTextCharFormat());
    cursor.insertHtml(colouredLine(msg));
    if (following)
        bar->setValue(bar->maximum());
}
