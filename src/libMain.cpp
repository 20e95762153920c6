#include "libMain.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>

#include "Config.h"
#include "SingleApplication.h"
#include "ui/GuiUserInteraction.h"
#include "ui/MainWindow.h"

int libMain(int& argc, char** argv)
{
    auto* app = new SingleApplication(argc, argv);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/plugins"));
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    if (!app->isPrimary()) {
        delete app;
        return 0;
    }

    Q_INIT_RESOURCE(drawable);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/drawable/logo256.png")));

    auto* parser = new QCommandLineParser;
    auto* startHidden
        = new QCommandLineOption(QStringLiteral("s"), QCoreApplication::translate("main", "Use in startup progress."));
    parser->addOption(*startHidden);
    parser->process(*app); // an unknown option ends the process here, before any window
    const bool hidden = parser->isSet(*startHidden);

    GuiUserInteraction interaction;
    UserInteraction::install(&interaction);
    Config::setSessionIntegration(true);

    auto* window = new MainWindow;
    if (!hidden)
        window->show();
    QObject::connect(app, &SingleApplication::showUp, window, &MainWindow::show);
    QApplication::setQuitOnLastWindowClosed(false);

    const int result = app->exec();

    delete window;
    UserInteraction::install(nullptr);
    delete startHidden;
    delete parser;
    delete app;
    return result;
}
