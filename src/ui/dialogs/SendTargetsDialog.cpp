#include "ui/dialogs/SendTargetsDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

SendTargetsDialog::SendTargetsDialog(const QList<ServerContent>& devices, const ServerContent& chosen, QWidget* parent)
    : QDialog(parent)
    , m_devices(devices)
    , m_list(new QListWidget(this))
{
    setWindowTitle(tr("发送到多个设备"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("选择要接收文件的设备:"), this));
    m_list->setObjectName(QStringLiteral("listWidgetTargets"));
    m_list->setAccessibleName(tr("接收文件的设备"));
    for (const ServerContent& d : qAsConst(m_devices)) {
        auto* item = new QListWidgetItem(QStringLiteral("%1 (%2)").arg(d.name, d.address.toString()), m_list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(d.uuid == chosen.uuid && d.address == chosen.address ? Qt::Checked : Qt::Unchecked);
    }
    layout->addWidget(m_list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    QPushButton* all = buttons->addButton(tr("全选"), QDialogButtonBox::ActionRole);
    all->setObjectName(QStringLiteral("pushButtonAll"));
    // Screen readers name every button.
    all->setAccessibleName(tr("全选"));
    buttons->button(QDialogButtonBox::Ok)->setAccessibleName(tr("发送"));
    buttons->button(QDialogButtonBox::Cancel)->setAccessibleName(tr("取消"));
    connect(all, &QPushButton::clicked, this, [this] { setAllChecked(true); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // Nothing checked: nothing to send.
    const auto update = [this, buttons] { buttons->button(QDialogButtonBox::Ok)->setEnabled(!checked().isEmpty()); };
    connect(m_list, &QListWidget::itemChanged, this, update);
    update();
}

QList<ServerContent> SendTargetsDialog::checked() const
{
    QList<ServerContent> out;
    for (int i = 0; i < m_list->count() && i < m_devices.size(); ++i) {
        if (m_list->item(i)->checkState() == Qt::Checked)
            out.append(m_devices.at(i));
    }
    return out;
}

void SendTargetsDialog::setAllChecked(bool on)
{
    for (int i = 0; i < m_list->count(); ++i)
        m_list->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}
