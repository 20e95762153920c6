#pragma once

#include <QDialog>

namespace Ui {
class ManualDevicesManageDialog;
}
class QListWidgetItem;
class QuorvelClientDatabase;

// The devices added by address: lists them, adds one ("IP : port"), and removes one on
// a double click. The discovery queries them in its next pass.
class ManualDevicesManageDialog : public QDialog {
    Q_OBJECT
public:
    explicit ManualDevicesManageDialog(QuorvelClientDatabase* database, QWidget* parent = nullptr);
    ~ManualDevicesManageDialog() override;

public slots:
    void onPushButtonAddClicked();
    void onItemRemoveTriggered(QListWidgetItem* item);

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::ManualDevicesManageDialog* ui;
    QuorvelClientDatabase* m_database;
};
