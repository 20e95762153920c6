#include "ui/dialogs/ManualDevicesManageDialog.h"

#include <QHostAddress>
#include <QListWidgetItem>

#include "quorvel/storage/QuorvelClientDatabase.h"
#include "ui/common/WarningBox.h"
#include "ui_ManualDevicesManageDialog.h"

namespace {
const QString Separator = QStringLiteral(" : ");
constexpr int TargetRole = Qt::UserRole; // the stored text; the port in the next role
constexpr int PortRole = Qt::UserRole + 1;

QListWidgetItem* entryItem(const ManualTarget& target)
{
    // A range is asked at the query port: it shows none.
    auto* item = new QListWidgetItem(target.kind() == ManualTarget::Range
            ? target.text()
            : target.text() + Separator + QString::number(target.port()));
    item->setData(TargetRole, target.text());
    item->setData(PortRole, target.port());
    return item;
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
    // Wide enough for any port, the placeholder's included, in every font and scale.
    ui->lineEditPort->setMinimumWidth(ui->lineEditPort->fontMetrics().horizontalAdvance(QStringLiteral("000000")) + 16);
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
    for (const ManualTarget& target : m_database->getManualTargets())
        ui->listWidgetDevices->addItem(entryItem(target));
    QDialog::showEvent(event);
}

void ManualDevicesManageDialog::onPushButtonAddClicked()
{
    const QString portText = ui->lineEditPort->text();
    const int port = portText.isEmpty() ? ProtocolPort::Discovery : parsePort(portText);
    // An address, a host name (looked up at every pass) or a range up to a /22.
    QString why;
    const QString typed = ui->lineEditIPAddress->text().trimmed();
    ManualTarget target = ManualTarget::parse(typed, ProtocolPort::Discovery, &why);
    // The port has a field of its own: ADDRESS:PORT here is a mistake (IPv6 aside).
    if (!target.isValid() || (typed.contains(QLatin1Char(':')) && QHostAddress(typed).isNull())) {
        WarningBox::show(nullptr, tr("无效的ip地址."),
            why.isEmpty() ? tr("请输入IP地址、主机名或地址段(如 198.51.100.0/24, 最大 /22).") : why);
        return;
    }
    if (port < 0) {
        WarningBox::show(nullptr, tr("无效的端口."));
        return;
    }
    if (target.kind() != ManualTarget::Range)
        target = ManualTarget::fromStored(target.text(), port);
    if (!m_database->addManualTarget(target)) {
        WarningBox::show(nullptr, tr("添加失败, 这个ip地址已经存在."), m_database->lastError());
        return;
    }
    ui->listWidgetDevices->addItem(entryItem(target));
}

void ManualDevicesManageDialog::onItemRemoveTriggered(QListWidgetItem* item)
{
    const ManualTarget target
        = ManualTarget::fromStored(item->data(TargetRole).toString(), item->data(PortRole).toInt());
    if (!target.isValid()) {
        qCritical("[E][%s] item error, invalid entry: %s", "ManualDevicesManageDialog", qUtf8Printable(item->text()));
        return;
    }
    if (!m_database->removeManualTarget(target)) {
        WarningBox::show(this, tr("删除失败"), m_database->lastError());
        return;
    }
    delete item;
}
