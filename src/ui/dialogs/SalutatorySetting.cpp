#include "ui/dialogs/SalutatorySetting.h"

#include <QMessageBox>

#include "quorvel/services/DeviceActions.h"
#include "ui_SalutatorySetting.h"

SalutatorySetting::SalutatorySetting(const ServerContent& server, DeviceActions& actions, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SalutatorySetting)
    , m_server(server)
    , m_actions(actions)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // Which device shows the text: the dialog may be opened long after the choice.
    const QString device = server.name.isEmpty() ? server.address.toString() : server.name;
    ui->labelText->setText(tr("设备“%1”的欢迎辞:").arg(device));
    ui->labelText->setWordWrap(true);
    ui->textEdit->setAccessibleDescription(ui->labelText->text());
    connect(ui->btnOk, &QPushButton::clicked, this, &SalutatorySetting::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &SalutatorySetting::reject);
}

SalutatorySetting::~SalutatorySetting()
{
    delete ui;
}

void SalutatorySetting::accept()
{
    const QString text = ui->textEdit->text();
    if (text.isEmpty()) {
        QMessageBox box(this);
        box.setText(tr("欢迎辞内容不能为空!            "));
        box.exec();
        return;
    }
    // The outcome comes later, to whoever shows the actions' results (the status bar).
    m_actions.setWelcome(m_server, text);
    QDialog::accept();
}
