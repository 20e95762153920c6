#pragma once

#include <QDialog>

#include "quorvel/protocol/ServerContent.h"

namespace Ui {
class SalutatorySetting;
}

// Asks for the welcome text a device shows and sends it; the outcome arrives later as
// a notice.
class SalutatorySetting : public QDialog {
    Q_OBJECT
public:
    explicit SalutatorySetting(const ServerContent& server, QWidget* parent = nullptr);
    ~SalutatorySetting() override;

public slots:
    void accept() override;

private:
    Ui::SalutatorySetting* ui;
    ServerContent m_server;
};
