#pragma once

#include <QDialog>

namespace Ui {
class SettingDialog;
}
class Config;

// The settings a person may change: client name, download folder, cast shortcut,
// confirmation before casting and start with the session. Nothing is stored before OK.
class SettingDialog : public QDialog {
    Q_OBJECT
public:
    explicit SettingDialog(Config* config, QWidget* parent = nullptr);
    ~SettingDialog() override;

public slots:
    void accept() override;
    void onSetDownloadPath();
    void onResetCastShortcut();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    bool store(int type, const QVariant& value, const QString& failure);

    Ui::SettingDialog* ui;
    Config* m_config;
};
