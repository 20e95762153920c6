// Installs the language at the start of every test program (see tests/CMakeLists.txt).
#include <QCoreApplication>
#include <QLocale>

#include "utils/AppLanguage.h"

namespace {
void installTestLanguage()
{
    QLocale locale = QLocale::system();
#ifdef QUORVEL_TEST_WINDOW
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::Chinese, QLocale::China);
#endif
    AppLanguage::install(QCoreApplication::instance(), locale);
}
} // namespace

Q_COREAPP_STARTUP_FUNCTION(installTestLanguage)
