#include "ui/common/UiLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool UiLanguage::install(QCoreApplication* app)
{
    auto* translator = new QTranslator(app);
    const QString name = QStringLiteral("qtbase_zh_CN");
    for (const QString& folder : {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
             QLibraryInfo::location(QLibraryInfo::TranslationsPath)}) {
        if (translator->load(name, folder)) {
            app->installTranslator(translator);
            return true;
        }
    }
    qWarning("[W][%s] Qt's Chinese translation (%s.qm) was not found; Qt's own buttons stay in English.", "UiLanguage",
        qPrintable(name));
    delete translator;
    return false;
}
