#include "LogDialog.h"

#include "log/CustomMsgHandler.h"
#include "ui_LogDialog.h"

LogDialog::LogDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::LogDialog)
{
    ui->setupUi(this);
    connect(ui->clearButton, &QPushButton::clicked, ui->logTextEdit, &QTextEdit::clear);
    m_handler = new CustomMsgHandler(qApp);
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
    if (msg.size() < 2)
        return msg;
    switch (msg.at(1).unicode()) {
    case 'E': return QStringLiteral("<font color=red>%1</font>").arg(msg);
    case 'W': return QStringLiteral("<font color=orange>%1</font>").arg(msg);
    case 'I': return QStringLiteral("<font color=green>%1</font>").arg(msg);
    case 'D': return QStringLiteral("<font color=blue>%1</font>").arg(msg);
    default: return msg;
    }
}

void LogDialog::appendMsg(QString msg)
{
    ui->logTextEdit->append(colouredLine(msg));
}
