#include "ui/dialogs/ManualDevicesManageDialog.h"

#include <QListWidgetItem>

#include "quorvel/storage/QuorvelClientDatabase.h"
#include "ui/common/WarningBox.h"
#include "ui_ManualDevicesManageDialog.h"

namespace {
const QString Separator = QStringLiteral(" : ");

QString entryText(const ServerContent& device)
{
    return device.address.toString() + Separator + QString::number(device.port);
}

// A decimal port 0-65535; -1 otherwise.
int parsePort(const QString& text)
{
    bool ok = false;
    const uint port = text.toUInt(&ok, 10);
    return ok && port <= 65535 ? int(port) : -1;
}
} // namespace

ManualDevicesManageDialog::ManualDevicesManageDialog(QuorvelClientDatabase* database, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::ManualDevicesManageDialog)
    , m_database(database)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    connect(ui->pushButtonAdd, &QPushButton::clicked, this, &ManualDevicesManageDialog::onPushButtonAddClicked);
    connect(ui->lineEditPort, &QLineEdit::returnPressed, this, &ManualDevicesManageDialog::onPushButtonAddClicked);
    connect(ui->listWidgetDevices, &QListWidget::itemDoubleClicked, this,
        &ManualDevicesManageDialog::onItemRemoveTriggered);
}

ManualDevicesManageDialog::~ManualDevicesManageDialog()
{
    delete ui;
}

void ManualDevicesManageDialog::showEvent(QShowEvent* event)
{
    ui->listWidgetDevices->clear();
    for (const ServerContent& device : m_database->getManualDevices())
        ui->listWidgetDevices->addItem(entryText(device));
    QDialog::showEvent(event);
}

void ManualDevicesManageDialog::onPushButtonAddClicked()
{
    ServerContent device;
    if (!device.address.setAddress(ui->lineEditIPAddress->text())) {
        WarningBox::show(nullptr, tr("无效的ip地址."));
        return;
    }
    const QString portText = ui->lineEditPort->text();
    device.port = portText.isEmpty() ? ProtocolPort::Discovery : parsePort(portText);
    if (device.port < 0) {
        WarningBox::show(nullptr, tr("无效的端口."));
        return;
    }
    if (!m_database->addManualDevice(device)) {
        WarningBox::show(nullptr, tr("添加失败, 这个ip地址已经存在."), m_database->lastError());
        return;
    }
    ui->listWidgetDevices->addItem(entryText(device));
}

void ManualDevicesManageDialog::onItemRemoveTriggered(QListWidgetItem* item)
{
    const QStringList parts = item->text().split(Separator);
    if (parts.size() != 2) {
        qCritical("[E][%s] item error, invalid string format.", "ManualDevicesManageDialog");
        return;
    }
    ServerContent device;
    if (!device.address.setAddress(parts.at(0))) {
        qCritical(
            "[E][%s] item error: invalid ip format: %s", "ManualDevicesManageDialog", qUtf8Printable(parts.at(0)));
        return;
    }
    device.port = parsePort(parts.at(1));
    if (device.port < 0) {
        qCritical("[E][%s] item error, invalid port: %d", "ManualDevicesManageDialog", device.port);
        return;
    }
    if (!m_database->removeManualDevice(device)) {
        WarningBox::show(this, tr("删除失败"), m_database->lastError());
        return;
    }
    delete item;
}
