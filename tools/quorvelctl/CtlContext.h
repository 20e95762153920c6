#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

#include "DeviceMemory.h"
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

    // The command being run ("devices"), for usage lines and events.
    void setCommand(const QString& name) { m_command = name; }
    QString command() const { return m_command; }

    // Parses a command's own options; false (and the exit code in *exit) on --help or a
    // usage error.
    bool parse(QCommandLineParser& parser, const QStringList& args, int minPositional, int maxPositional, int* exit);
    // The command's help, its usage line naming the command.
    QString helpText(const QCommandLineParser& parser) const;
    // A valued option that counts seconds: a whole number of at least 1; false (and a
    // usage error) otherwise.
    bool seconds(const QCommandLineParser& parser, const QString& option, int* ms);
    // Runs the event loop until done() holds, the time limit passes (timeoutMs < 0: the
    // command's --timeout, none by default) or the user interrupts (unless it may not be
    // cut short: a clean stop after an interruption); returns done().
    bool waitFor(const std::function<bool()>& done, int timeoutMs = -1, bool interruptible = true);
    // Starts the task on the global pool and waits for its end; its outcome. A task cut
    // short by the time limit or the user is asked to stop.
    TaskOutcome runTask(Task* task);

    // ADDRESS, ADDRESS:PORT (the device's query port) or a device name (any case) found
    // by one discovery pass; a name not found fails with the near misses among the
    // known names. With describe, the device is asked who it is (its uuid keys history
    // and thumbnails); a silent device is still used by its address (*answered false).
    bool resolve(const QString& which, bool describe, ServerContent* device, bool* answered = nullptr);
    // ADDRESS[:PORT] split; false when which is no address.
    static bool parseAddress(const QString& which, QHostAddress* address, int* port);
    DeviceMemory& memory() { return m_memory; }
    // The absolute paths of names that are files (against the current directory);
    // false (and a message) at the first that is not.
    bool existingFiles(const QStringList& names, QStringList* files);

    // Reports a failure (with the task's reason) and returns Failure.
    int fail(const QString& what, const TaskOutcome& outcome = TaskOutcome());
    // A usage error: the message and one line pointing to the command's --help; Usage.
    int usage(const QString& what);

    void interrupt() { m_interrupted = true; }
    bool interrupted() const { return m_interrupted; }

private:
    QObject m_anchor;
    DeviceMemory m_memory;
    QString m_command;
    CtlOutput& m_out;
    int m_timeoutMs;
    bool m_interrupted = false;
};
