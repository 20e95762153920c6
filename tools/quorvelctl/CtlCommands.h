#pragma once

#include <QMutex>
#include <QObject>
#include <QStringList>
#include <functional>

#include "ServerContent.h"

class CtlOutput;
class QCommandLineParser;

// The commands of quorvelctl, each built on the same tasks as the window.
class CtlCommands : public QObject {
    Q_OBJECT
public:
    enum Exit { Success = 0, Failure = 1, Usage = 2 };

    CtlCommands(CtlOutput& out, int timeoutSeconds, QObject* parent = nullptr);
    int run(const QStringList& arguments);
    static QString usage();

    // The last error line any task logged, without its level and class tags.
    void noteLogLine(const QString& line);

private:
    int discover(const QStringList& args);
    int ls(const QStringList& args);
    int upload(const QStringList& args);
    int download(const QStringList& args);
    int open(const QStringList& args);
    int rm(const QStringList& args);
    int thumb(const QStringList& args);
    int welcome(const QStringList& args);
    int history(const QStringList& args);
    int devices(const QStringList& args);
    int config(const QStringList& args);
    int serve(const QStringList& args);
    int offer(const QStringList& args);
    int cast(const QStringList& args);

    // Parses a command's own options; false (and the exit code in *exit) on --help or a
    // usage error.
    bool parse(QCommandLineParser& parser, const QStringList& args, int minPositional, int maxPositional, int* exit);
    // An IP address, or a device name found by one discovery pass. With describe, the
    // device is asked who it is (its uuid keys history and thumbnails).
    bool resolve(const QString& which, bool describe, ServerContent* device);
    bool waitFor(const std::function<bool()>& done, int timeoutMs = -1);
    int fail(const QString& what);
    // The absolute paths of names that are files; false (and a message) at the first that is not.
    bool existingFiles(const QStringList& names, QStringList* files);

    struct NoticeCommand {
        const char* name;
        QString description;
        const char* argument;
        const char* argumentHelp;
        QString success; // the task's notice when it worked
        QString failure; // %1: the argument
        QString emptyArgument; // the complaint when the argument may not be empty
    };
    template <typename Task, typename Make>
    int noticeCommand(const QStringList& args, const NoticeCommand& command, Make make);
    QString takeLastError();

    CtlOutput& m_out;
    int m_timeoutMs;
    QMutex m_errorLock;
    QString m_lastError;
    QString m_deviceReason;
};
