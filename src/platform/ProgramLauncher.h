#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QRunnable;

// Starts programs, and opens documents in the program the desktop associates with them.
class ProgramLauncher {
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
    static bool launch(const QString& file, const QString& parameters, bool runAs, bool wait, QRunnable* callback,
        Exit* exit = nullptr);
    // The same with the arguments as they are, none split or joined: for anything that
    // holds text from elsewhere. While it waits, stop is asked every few milliseconds:
    // once it says so, the program has StopGraceMs to end by itself, then it is
    // terminated, then killed, so that the wait ends within about a second.
    static bool launch(const QString& file, QStringList arguments, bool runAs, bool wait, QRunnable* callback,
        Exit* exit = nullptr, const std::function<bool()>& stop = nullptr);
    static constexpr int StopGraceMs = 500;
    // Where a bare program name is found (application folder, then PATH); empty when
    // nowhere.
    static QString findProgram(const QString& file);

private:
    static QString resolveProgram(const QString& file);
};
