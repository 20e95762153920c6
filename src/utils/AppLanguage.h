#pragma once

#include <QLocale>

class QCoreApplication;

// The language the programs speak. The sources' texts are Chinese; anywhere else the
// English translation built from translations/quorvel_en.ts is loaded (it travels inside
// the program). Chinese also loads Qt's own Chinese texts (OK/Cancel, the file dialog),
// which Debian ships in qttranslations5-l10n.
class AppLanguage {
public:
    // True when the person reads Chinese: the first language the locale's user interface
    // asks for (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) is a Chinese one.
    static bool isChinese(const QLocale& locale);
    // Replaces the translations an earlier call installed with the locale's; false when
    // one was not found (the texts stay in the sources' language, or Qt's own English).
    static bool install(QCoreApplication* app, const QLocale& locale = QLocale::system());
};
