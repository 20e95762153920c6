#include "utils/AppLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace {
const char* const Tag = "AppLanguage";

// The translators this class installed, so that a second call replaces them.
QList<QPointer<QTranslator>>& installed()
{
    static QList<QPointer<QTranslator>> list;
    return list;
}

bool load(QCoreApplication* app, const QString& name, const QStringList& folders)
{
    auto* translator = new QTranslator(app);
    for (const QString& folder : folders) {
        if (translator->load(name, folder)) {
            app->installTranslator(translator);
            installed().append(translator);
            return true;
        }
    }
    delete translator;
    return false;
}
} // namespace

bool AppLanguage::isChinese(const QLocale& locale)
{
    const QStringList languages = locale.uiLanguages();
    const QString first = languages.isEmpty() ? locale.name() : languages.first();
    return first.startsWith(QLatin1String("zh"));
}

bool AppLanguage::install(QCoreApplication* app, const QLocale& locale)
{
    Q_INIT_RESOURCE(translations);
    for (const QPointer<QTranslator>& translator : installed()) {
        if (translator) {
            app->removeTranslator(translator);
            delete translator;
        }
    }
    installed().clear();
    if (!isChinese(locale)) {
        if (load(app, QStringLiteral("quorvel_en"), {QStringLiteral(":/translations")}))
            return true;
        qWarning("[W][%s] The English translation (quorvel_en.qm) is missing; the texts stay Chinese.", Tag);
        return false;
    }
    const QString name = QStringLiteral("qtbase_zh_CN");
    if (load(app, name,
            {QCoreApplication::applicationDirPath() + QStringLiteral("/translations"),
                QLibraryInfo::location(QLibraryInfo::TranslationsPath)}))
        return true;
    qWarning("[W][%s] Qt's Chinese translation (%s.qm) was not found; Qt's own buttons stay in English.", Tag,
        qPrintable(name));
    return false;
}
