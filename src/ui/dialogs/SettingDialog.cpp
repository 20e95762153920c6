#include "ui/dialogs/SettingDialog.h"

#include <QFileDialog>

#include "settings/Config.h"
#include "settings/ConfigCheck.h"
#include "ui/common/WarningBox.h"
#include "ui_SettingDialog.h"

SettingDialog::SettingDialog(Config* config, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SettingDialog)
    , m_config(config)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->btnOk, &QPushButton::clicked, this, &SettingDialog::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &SettingDialog::reject);
    connect(ui->btnBrowse, &QPushButton::clicked, this, &SettingDialog::onSetDownloadPath);
    connect(ui->buttonResetCastShortcut, &QPushButton::clicked, this, &SettingDialog::onResetCastShortcut);
}

SettingDialog::~SettingDialog()
{
    delete ui;
}

void SettingDialog::showEvent(QShowEvent* event)
{
    ui->ClientName->setText(m_config->value(Config::ClientName).toString());
    ui->downloadPath->setText(m_config->value(Config::DownloadPath).toString());
    ui->checkBoxConfirmCast->setChecked(m_config->value(Config::ConfirmCast).toBool());
    ui->checkBoxStartUp->setChecked(m_config->value(Config::StartUp).toBool());
    ui->lineEditCastShortcut->setText(m_config->value(Config::CastShortcut).toString());
    // Pressing the cast shortcut now records it instead of casting.
    m_config->setCastShortcutEnabled(false);
    QDialog::showEvent(event);
}

void SettingDialog::hideEvent(QHideEvent* event)
{
    m_config->setCastShortcutEnabled(true);
    QDialog::hideEvent(event);
}

void SettingDialog::onSetDownloadPath()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("请选择文件夹"),
        m_config->value(Config::DownloadPath).toString(), QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        ui->downloadPath->setText(folder);
}

void SettingDialog::onResetCastShortcut()
{
    ui->lineEditCastShortcut->setText(m_config->value(Config::CastShortcut).toString());
}

bool SettingDialog::store(int type, const QVariant& value, const QString& failure)
{
    const QString refused = ConfigCheck::problem(type, value);
    if (!refused.isEmpty()) {
        WarningBox::show(this, failure, refused);
        return false;
    }
    if (m_config->setValue(type, value))
        return true;
    WarningBox::show(this, failure, m_config->lastError());
    return false;
}

void SettingDialog::accept()
{
    const QString name = ui->ClientName->text();
    const QString path = ui->downloadPath->text();
    if (name.isEmpty()) {
        WarningBox::show(this, tr("客户端名字不能为空！"));
        return;
    }
    if (path.isEmpty()) {
        WarningBox::show(this, tr("下载路径不能为空！"));
        return;
    }
    // Stored one by one: what was stored before a failure stays stored.
    if (!store(Config::ClientName, name, tr("设置用户名错误"))
        || !store(Config::DownloadPath, path, tr("设置下载地址错误"))
        || !store(Config::CastShortcut, ui->lineEditCastShortcut->text(), tr("设置投射快捷键错误"))
        || !store(Config::ConfirmCast, ui->checkBoxConfirmCast->isChecked(), tr("设置投射确认错误"))
        || !store(Config::StartUp, ui->checkBoxStartUp->isChecked(), tr("设置开机启动错误")))
        return;
    QDialog::accept();
}
