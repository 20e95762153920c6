#pragma once

#include <QDialog>
#include <QList>

#include "quorvel/protocol/ServerContent.h"

class QListWidget;

// Which of the known devices a file goes to: a check list, the chosen device checked,
// so that the same file reaches every room's screen at once.
class SendTargetsDialog : public QDialog {
    Q_OBJECT
public:
    SendTargetsDialog(const QList<ServerContent>& devices, const ServerContent& chosen, QWidget* parent = nullptr);

    // The devices checked, in the list's order.
    QList<ServerContent> checked() const;
    void setAllChecked(bool on);

private:
    QList<ServerContent> m_devices;
    QListWidget* m_list;
};
