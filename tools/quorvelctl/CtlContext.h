#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

#include "ServerContent.h"
#include "TaskOutcome.h"

class CastSession;
class CtlOutput;
class OfferInbox;
class QCommandLineParser;
class Task;
class TransferQueue;

// What every command of quorvelctl shares: the output, the time limit, the device
// lookup, waiting on the event loop, and the way failures are reported.
class CtlContext {
public:
    enum Exit { Success = 0, Failure = 1, Usage = 2, Interrupted = 130 };

    CtlContext(CtlOutput& out, int timeoutSeconds);

    // The core's services, from the application context.
    TransferQueue& transfers();
    OfferInbox& inbox();
    CastSession& cast();

    CtlOutput& out() { return m_out; }
    // The context object of the commands' connections (on the main thread).
    QObject* anchor() { return &m_anchor; }
    int timeoutMs() const { return m_timeoutMs; }

    // Parses a command's own options; false (and the exit code in *exit) on --help or a
    // usage error.
    bool parse(QCommandLineParser& parser, const QStringList& args, int minPositional, int maxPositional, int* exit);
    // Runs the event loop until done() holds, the time limit passes (timeoutMs < 0: the
    // command's --timeout, none by default) or the user interrupts (unless it may not be
    // cut short: a clean stop after an interruption); returns done().
    bool waitFor(const std::function<bool()>& done, int timeoutMs = -1, bool interruptible = true);
    // Starts the task on the global pool and waits for its end; its outcome. A task cut
    // short by the time limit or the user is asked to stop.
    TaskOutcome runTask(Task* task);

    // An IP address or a device name found by one discovery pass. With describe, the
    // device is asked who it is (its uuid keys history and thumbnails); a silent device
    // is still used by its address (*answered false).
    bool resolve(const QString& which, bool describe, ServerContent* device, bool* answered = nullptr);
    // The absolute paths of names that are files (against the current directory);
    // false (and a message) at the first that is not.
    bool existingFiles(const QStringList& names, QStringList* files);

    // Reports a failure (with the task's reason) and returns Failure.
    int fail(const QString& what, const TaskOutcome& outcome = TaskOutcome());
    int usage(const QString& what);

    void interrupt() { m_interrupted = true; }
    bool interrupted() const { return m_interrupted; }

private:
    QObject m_anchor;
    CtlOutput& m_out;
    int m_timeoutMs;
    bool m_interrupted = false;
};
