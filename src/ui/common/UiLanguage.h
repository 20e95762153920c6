#pragma once

class QCoreApplication;

// The window speaks Chinese throughout: Qt's own texts (OK/Cancel/Yes/No, the file
// dialog, scroll bar menus) come from Qt's Chinese translation, which Debian ships in
// qttranslations5-l10n; the application folder's "translations" is looked at first.
class UiLanguage {
public:
    // Installs the translation on the application; false when none was found.
    static bool install(QCoreApplication* app);
};
