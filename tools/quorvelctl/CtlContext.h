#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <functional>

#include "DeviceMemory.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/TaskOutcome.h"

class CastSession;
class CtlOutput;
class DeviceActions;
struct DeviceActionResult;
class OfferInbox;
class QCommandLineParser;
class Task;
class TransferQueue;

// What every command of quorvelctl shares: the output, the time limit, the device
// lookup, waiting on the event loop, and the way failures are reported.
class AppContext;

class CtlContext {
public:
    enum Exit { Success = 0, Failure = 1, Usage = 2, Interrupted = 130 };

    // maxTimeSeconds: --max-time, the bound of the whole command (0: none). The
    // application outlives the context.
    CtlContext(AppContext& app, CtlOutput& out, int maxTimeSeconds);

    AppContext& app() { return m_app; }
    // The core's services, from the application context.
    TransferQueue& transfers();
    OfferInbox& inbox();
    CastSession& cast();

    CtlOutput& out() { return m_out; }
    // The context object of the commands' connections (on the main thread).
    QObject* anchor() { return &m_anchor; }
    // What is left of --max-time, -1 without one.
    int timeoutMs() const;

    // The command being run ("devices"), for usage lines and events.
    void setCommand(const QString& name) { m_command = name; }
    QString command() const { return m_command; }

    // Parses a command's own options; false (and the exit code in *exit) on --help or a
    // usage error.
    bool parse(QCommandLineParser& parser, const QStringList& args, int minPositional, int maxPositional, int* exit);
    // The command's help, its usage line naming the command, with the global options.
    QString helpText(const QCommandLineParser& parser) const;
    // Prints a help text (a "help" event with --json).
    void printHelp(const QString& command, const QString& text);
    // The global options, for the help texts.
    static QString globalsHelp();
    // "; did you mean "x"?" when typed is near one of the known words, else empty.
    static QString didYouMean(const QString& typed, const QStringList& known);
    // An unknown option, said the one way; Usage.
    int unknownOption(const QString& typed, const QStringList& known);
    // A valued option that counts seconds: a whole number of at least 1; false (and a
    // usage error) otherwise.
    bool seconds(const QCommandLineParser& parser, const QString& option, int* ms);
    // Runs the event loop until done() holds, the time limit passes (timeoutMs < 0: what
    // is left of --max-time, none by default; never beyond it either way), the user
    // interrupts or standard output fails (unless it may not be cut short: a clean stop
    // after an interruption); returns done().
    bool waitFor(const std::function<bool()>& done, int timeoutMs = -1, bool interruptible = true);
    // Starts the task on the application's pool and waits for its end; its outcome. A
    // task cut short by the time limit or the user is asked to stop.
    TaskOutcome runTask(Task* task);
    // The same for a device action that start() asks of actions (it returns its number);
    // its result, or one with the reason it was cut short.
    DeviceActionResult runAction(const std::function<quint64(DeviceActions&)>& start);

    // ADDRESS, ADDRESS:PORT (the device's query port), a device name (any case) or uuid,
    // or a host name (IPv4). A name is looked up among the remembered devices first (and
    // the device asked at its last address), then as a host name, then by one discovery
    // pass; a name that several devices carry fails with the candidates, one not found
    // with the near misses among the known names. With describe, the device is asked who
    // it is (its uuid keys history and thumbnails); a silent device is still used by its
    // address (*answered false). On false the exit status is unresolved().
    bool resolve(const QString& which, bool describe, ServerContent* device, bool* answered = nullptr);
    int unresolved() const { return m_unresolved; }
    // Every device (other clients aside) that one discovery pass finds, by address.
    QList<ServerContent> everyDevice();
    enum class Address { Valid, BadPort, None };
    // ADDRESS[:PORT] split; BadPort for ADDRESS:PORT with a port outside 1-65535.
    static Address parseAddress(const QString& which, QHostAddress* address, int* port);
    // An IPv4 address of a host name, within waitMs; false (and *why) otherwise.
    bool lookUpHost(const QString& name, QHostAddress* address, QString* why, int waitMs = 3000);
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
    // Asks address:port who it is, bounded by the information query's wait.
    bool ask(const QHostAddress& address, int port, ServerContent* device);
    // One discovery pass, bounded by the information query's wait; the devices found.
    QList<ServerContent> discoveryPass();
    // Why a wait ended before what it waited for: the user, --max-time or the output.
    TaskOutcome cutShort() const;

    QObject m_anchor;
    DeviceMemory m_memory;
    QString m_command;
    AppContext& m_app;
    CtlOutput& m_out;
    int m_maxTimeMs;
    QElapsedTimer m_started;
    int m_unresolved = Failure;
    bool m_interrupted = false;
};
