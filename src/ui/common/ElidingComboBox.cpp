#include "ui/common/ElidingComboBox.h"

#include <QHelpEvent>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QToolTip>

ElidingComboBox::ElidingComboBox(QWidget* parent)
    : QComboBox(parent)
{
    // Its width comes from the layout, not from its longest entry.
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(8);
}

int ElidingComboBox::textWidth() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).width() - 2;
}

QString ElidingComboBox::shownText() const
{
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, textWidth());
}

void ElidingComboBox::paintEvent(QPaintEvent*)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

bool ElidingComboBox::event(QEvent* event)
{
    // The whole name and what the entry is, whatever changed the current entry.
    if (event->type() == QEvent::ToolTip && currentIndex() >= 0) {
        const QString more = itemData(currentIndex(), Qt::ToolTipRole).toString();
        QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
            more.isEmpty() ? currentText() : currentText() + QLatin1Char('\n') + more, this);
        return true;
    }
    return QComboBox::event(event);
}
