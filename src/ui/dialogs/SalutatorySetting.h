#pragma once

#include <QDialog>

#include "quorvel/protocol/ServerContent.h"

namespace Ui {
class SalutatorySetting;
}
class DeviceActions;

// Asks for the welcome text a device shows and sends it; the outcome arrives later
// through actions.
class SalutatorySetting : public QDialog {
    Q_OBJECT
public:
    // actions outlives the dialog.
    SalutatorySetting(const ServerContent& server, DeviceActions& actions, QWidget* parent = nullptr);
    ~SalutatorySetting() override;

public slots:
    void accept() override;

private:
    Ui::SalutatorySetting* ui;
    ServerContent m_server;
    DeviceActions& m_actions;
};
