#include "ui/common/StyleSheet.h"

#include <QFile>

QString StyleSheet::load()
{
    QFile file(QStringLiteral(":/style/quorvel.qss"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("[W][%s] The style sheet is missing from the resources.", "StyleSheet");
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}
