#include "ui/common/QuorvelStyle.h"

QIcon QuorvelStyle::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const
{
    switch (icon) {
    case SP_MessageBoxWarning: return QIcon(QStringLiteral(":/drawable/message_warning.png"));
    case SP_MessageBoxInformation: return QIcon(QStringLiteral(":/drawable/message_information.png"));
    case SP_MessageBoxQuestion: return QIcon(QStringLiteral(":/drawable/message_question.png"));
    case SP_MessageBoxCritical: return QIcon(QStringLiteral(":/drawable/message_critical.png"));
    default: return QProxyStyle::standardIcon(icon, option, widget);
    }
}
