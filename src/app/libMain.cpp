#include "app/libMain.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>
#include <QSystemTrayIcon>
#include <cstdio>

#include "app/AppContext.h"
#include "app/SingleApplication.h"
#include "app/WindowServicesOf.h"
#include "platform/AppFolders.h"
#include "platform/x11/X11DesktopSession.h"
#include "ui/common/GuiUserInteraction.h"
#include "ui/common/StyleSheet.h"
#include "ui/mainwindow/MainWindow.h"
#include "utils/AppLanguage.h"
#include "utils/QuitOnSignal.h"

int libMain(int& argc, char** argv)
{
    // The version and the options are answered before anything else: without a display,
    // and without waking a running client.
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--version" || arg == "-V") {
            std::printf("quorvel %s\n", QUORVEL_VERSION);
            return 0;
        }
        if (arg == "--help" || arg == "-h") {
            std::printf("Usage: quorvel [-s]\n"
                        "The Quorvel client: finds conference-room display devices, sends files to them and casts "
                        "this screen.\n\n"
                        "Options:\n"
                        "  -s             start hidden in the tray\n"
                        "  -V, --version  the program's name and version\n"
                        "  -h, --help     this text\n");
            return 0;
        }
    }
    auto* app = new SingleApplication(argc, argv);
    QCoreApplication::addLibraryPath(QCoreApplication::applicationDirPath() + QStringLiteral("/plugins"));
    if (!app->isPrimary()) {
        delete app;
        return 0;
    }

    Q_INIT_RESOURCE(drawable);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/drawable/logo256.png")));
    StyleSheet::apply(app);
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
    // The window's own files live in its folder, or in the user's folders once installed;
    // the current directory stays the user's.
    const AppFolders folders = AppFolders::forProgram(QCoreApplication::applicationDirPath());
    QString folderError;
    if (!folders.make(&folderError))
        qWarning("[W][%s] %s", "libMain", qUtf8Printable(folderError));
    auto* session = new X11DesktopSession;
    auto* context = new AppContext(folders, session, &interaction);

    auto* window = new MainWindow(windowServicesOf(*context));
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
    delete startHidden;
    delete parser;
    delete app;
    return result;
}
