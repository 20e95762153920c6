#pragma once

#include <QStringList>
#include <QWidget>

// The widgets under top that a keyboard user tabs to but a screen reader cannot name.
inline QStringList unnamedTabStops(const QWidget* top)
{
    QStringList unnamed;
    for (const QWidget* w : top->findChildren<QWidget*>()) {
        if ((w->focusPolicy() & Qt::TabFocus) && w->accessibleName().isEmpty())
            unnamed << w->objectName();
    }
    return unnamed;
}
