#include "app/libMain.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QSystemTrayIcon>

#include "utils/AppLanguage.h"
#include "app/AppContext.h"
#include "app/SingleApplication.h"
#include "platform/x11/X11DesktopSession.h"
#include "ui/common/GuiUserInteraction.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/common/StyleSheet.h"
#include "utils/QuitOnSignal.h"

int libMain(int& argc, char** argv)
{
    auto* app = new SingleApplication(argc, argv);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/plugins"));
    if (!app->isPrimary()) {
        delete app;
        return 0;
    }

    Q_INIT_RESOURCE(drawable);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/drawable/logo256.png")));
    app->setStyleSheet(StyleSheet::load());
    AppLanguage::install(app);

    auto* parser = new QCommandLineParser;
    auto* startHidden = new QCommandLineOption(
        QStringLiteral("s"), QCoreApplication::translate("main", "开机启动时使用: 隐藏在托盘中启动."));
    parser->addOption(*startHidden);
    parser->process(*app); // an unknown option ends the process here, before any window
    const bool hidden = parser->isSet(*startHidden);

    // SIGTERM (a logout, a service manager) and Ctrl-C end the client like its quit entry,
    // also while the window is still being built: the loop takes the signal once it runs.
    auto* quitOnSignal = new QuitOnSignal;

    GuiUserInteraction interaction;
    UserInteraction::install(&interaction);
    // The window's own files live in its folder; the current directory stays the user's.
    auto* session = new X11DesktopSession;
    auto* context = new AppContext(QCoreApplication::applicationDirPath(), session);

    auto* window = new MainWindow(context);
    interaction.setWindow(window);
    // Hidden in the tray only where there is one: otherwise nothing would show that the
    // client runs, nor let a person reach it.
    if (!hidden || !QSystemTrayIcon::isSystemTrayAvailable()) {
        if (hidden)
            qWarning("[W][%s] No system tray to start hidden in: the window is shown.", "libMain");
        window->showUp();
    }
    QObject::connect(app, &SingleApplication::showUp, window, &MainWindow::showUp);
    QApplication::setQuitOnLastWindowClosed(false);
    const int result = app->exec();
    delete quitOnSignal;

    delete window;
    delete context;
    delete session;
    UserInteraction::install(nullptr);
    delete startHidden;
    delete parser;
    delete app;
    return result;
}
