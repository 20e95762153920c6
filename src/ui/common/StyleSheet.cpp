#include "ui/common/StyleSheet.h"

#include <QApplication>
#include <QFile>

#include "ui/common/QuorvelStyle.h"

QString StyleSheet::load()
{
    QFile file(QStringLiteral(":/style/quorvel.qss"));
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning("[W][%s] The style sheet is missing from the resources.", "StyleSheet");
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

void StyleSheet::apply(QApplication* app)
{
    app->setStyle(new QuorvelStyle);
    app->setStyleSheet(load());
}
