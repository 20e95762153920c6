#include <QCommandLineParser>
#include <QGuiApplication>
#include <QHostAddress>
#include <cstdio>

#include "ScreenCaster.h"

// Vantrope -s SCREEN [-i DEVICE_ADDRESS] -cs LOCAL_SERVER_NAME [--fps N]
int main(int argc, char** argv)
{
    // Answered without a display.
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--version") == 0 || qstrcmp(argv[i], "-V") == 0) {
            printf("Vantrope %s\n", QUORVEL_VERSION);
            return 0;
        }
    }
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantrope"));
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    parser.addOption({"s", "Screen to cast (1: the primary screen).", "screen", "1"});
    parser.addOption({"i", "The device's address; frames go to its TCP port 7236.", "address"});
    parser.addOption({"cs", "Name of the local server the client steers the cast through.", "name"});
    parser.addOption({"fps", "Frames per second.", "n", "15"});
    parser.process(app);
    if (!parser.isSet("cs")) {
        fprintf(stderr, "Vantrope: -cs NAME is required\n");
        return 2;
    }
    QHostAddress device;
    if (parser.isSet("i") && !device.setAddress(parser.value("i"))) {
        fprintf(stderr, "Vantrope: bad address %s\n", qPrintable(parser.value("i")));
        return 2;
    }
    ScreenCaster caster(parser.value("cs"), device, parser.value("fps").toInt());
    QString error;
    if (!caster.start(&error)) {
        fprintf(stderr, "Vantrope: %s\n", qPrintable(error));
        return 1;
    }
    return app.exec();
}
