#pragma once

#include <QString>
#include <functional>

class QRunnable;

// Desktop-session operations: launching programs and the start-with-the-session entry
// (a freedesktop autostart file in $XDG_CONFIG_HOME/autostart/).
class WinUtils {
public:
    // How a waited-for program ended: its status and the last line it wrote to standard
    // error (which still reaches the user's standard error as it comes).
    struct Exit {
        int code = 0;
        bool crashed = false;
        QString lastError;
    };
    // Starts file with parameters. A bare file name is looked up in the application
    // folder, then in PATH; a document that is not executable opens in its associated
    // program. runAs elevates through pkexec. The callback runs right after the start,
    // before any waiting (it stays the caller's); wait blocks until the program exits,
    // and with exit its end is described there.
    static bool openExecuteFile(const QString& file, const QString& parameters, bool runAs, bool wait,
        QRunnable* callback, Exit* exit = nullptr);
    // The same with the arguments as they are, none split or joined: for anything that
    // holds text from elsewhere. While it waits, stop is asked every few milliseconds:
    // once it says so, the program has StopGraceMs to end by itself, then it is
    // terminated, then killed, so that the wait ends within about a second.
    static bool openExecuteFile(const QString& file, QStringList arguments, bool runAs, bool wait, QRunnable* callback,
        Exit* exit = nullptr, const std::function<bool()>& stop = nullptr);
    static constexpr int StopGraceMs = 500;
    // Where a bare program name is found (application folder, then PATH); empty when
    // nowhere.
    static QString findProgram(const QString& file);

    static bool addRunEntry(const QString& name, const QString& program, const QString& arguments);
    static bool removeRunEntry(const QString& name);
    // True when the entry's command, cut to the program's length, is the program.
    static bool hasRunEntry(const QString& name, const QString& program);

    // The entry's command line as "program arguments", empty when absent.
    static QString runEntryCommand(const QString& name);
    static QString runEntryPath(const QString& name);

private:
    static QString resolveProgram(const QString& file);
};
