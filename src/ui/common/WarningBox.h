#pragma once

#include <QString>

class QWidget;

// The dialogs' "错误" box: the message, and below it why, when known, so that a person
// can fix the cause (a read-only folder, a key another program holds).
class WarningBox {
public:
    static void show(QWidget* parent, const QString& text, const QString& reason = QString());
};
