#include "CtlContext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonObject>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "AppContext.h"
#include "CtlOutput.h"
#include "Task.h"
#include "TaskHandle.h"
#include "Timing.h"
#include "TransferQueue.h"
#include "cast/CastSession.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/server/OfferInbox.h"

namespace {
// Receives one information query's outcome on the pool thread.
class OneQuery : public QueryResultReceiver {
public:
    void onQueryServerResult(const ServerContent& content, bool found, bool isBroadcast) override
    {
        if (isBroadcast)
            return;
        result = content;
        ok = found;
        done.release();
    }
    ServerContent result;
    bool ok = false;
    QSemaphore done;
};
} // namespace

CtlContext::CtlContext(CtlOutput& out, int timeoutSeconds)
    : m_out(out)
    , m_timeoutMs(timeoutSeconds > 0 ? timeoutSeconds * 1000 : -1)
{
}

TransferQueue& CtlContext::transfers()
{
    return *AppContext::current()->transfers();
}

OfferInbox& CtlContext::inbox()
{
    return *AppContext::current()->inbox();
}

CastSession& CtlContext::cast()
{
    return *AppContext::current()->cast();
}

bool CtlContext::parse(
    QCommandLineParser& parser, const QStringList& args, int minPositional, int maxPositional, int* exit)
{
    parser.addHelpOption();
    if (!parser.parse(args)) {
        m_out.error(parser.errorText());
        fprintf(stderr, "%s", parser.helpText().toUtf8().constData());
        *exit = Usage;
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        fprintf(stdout, "%s", parser.helpText().toUtf8().constData());
        *exit = Success;
        return false;
    }
    const int n = parser.positionalArguments().size();
    if (n < minPositional || (maxPositional >= 0 && n > maxPositional)) {
        m_out.error(QStringLiteral("wrong number of arguments"));
        fprintf(stderr, "%s", parser.helpText().toUtf8().constData());
        *exit = Usage;
        return false;
    }
    return true;
}

bool CtlContext::waitFor(const std::function<bool()>& done, int timeoutMs, bool interruptible)
{
    if (timeoutMs < 0)
        timeoutMs = m_timeoutMs;
    const auto finished = [&] { return done() || (interruptible && m_interrupted); };
    if (finished())
        return done();
    // What ends the wait changes in slots of this thread: look after each short turn.
    QEventLoop loop;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        if (finished())
            loop.quit();
    });
    look.start(10);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (timeoutMs >= 0)
        limit.start(timeoutMs);
    loop.exec();
    return done();
}

TaskOutcome CtlContext::runTask(Task* task)
{
    // Shared with the connection, which may still deliver after a time-out.
    struct End {
        bool ended = false;
        TaskOutcome outcome;
    };
    auto end = std::make_shared<End>();
    QObject::connect(task, &Task::ended, &m_anchor, [end](const TaskOutcome& o) {
        end->outcome = o;
        end->ended = true;
    });
    const TaskHandle handle(task);
    QThreadPool::globalInstance()->start(task);
    if (!waitFor([&] { return end->ended; })) {
        handle.cancel();
        return TaskOutcome::failure(m_interrupted ? QStringLiteral("interrupted") : QStringLiteral("timed out"));
    }
    return end->outcome;
}

bool CtlContext::resolve(const QString& which, bool describe, ServerContent* device, bool* answered)
{
    if (answered)
        *answered = true;
    const QHostAddress address(which);
    if (!address.isNull()) {
        device->address = address;
        device->port = DiscoveryServer::QueryPort;
        if (!describe)
            return true;
        OneQuery query;
        QThreadPool::globalInstance()->start(new DiscoveryServer::ServerInfoGetter(&query, address, device->port));
        // Not cut short: the query writes into this frame until it ends (bounded by its wait).
        waitFor([&] { return query.done.available() > 0; }, Timing::current().infoReplyWaitMs + 3000, false);
        const bool described = query.done.tryAcquire() && query.ok;
        if (described)
            *device = query.result; // otherwise the bare address will do
        if (answered)
            *answered = described;
        return true;
    }
    // A name: one discovery pass.
    DiscoveryServer* server = DiscoveryServer::instance();
    auto ended = std::make_shared<bool>(false);
    QMetaObject::Connection c = QObject::connect(
        server, &DiscoveryServer::serverDiscoeryEnd, &m_anchor, [ended] { *ended = true; }, Qt::QueuedConnection);
    server->startDiscovery();
    waitFor([&] { return *ended; }, Timing::current().infoReplyWaitMs + 5000);
    QObject::disconnect(c);
    for (const ServerContent& s : server->devices()) {
        if (s.name == which || s.uuid == which) {
            *device = s;
            return true;
        }
    }
    fail(QStringLiteral("no device named \"%1\" answered").arg(which));
    return false;
}

bool CtlContext::existingFiles(const QStringList& names, QStringList* files)
{
    for (const QString& name : names) {
        const QFileInfo info(name);
        if (!info.isFile()) {
            fail(QStringLiteral("%1: no such file").arg(name));
            return false;
        }
        files->append(QDir::fromNativeSeparators(info.absoluteFilePath()));
    }
    return true;
}

int CtlContext::fail(const QString& what, const TaskOutcome& outcome)
{
    const QString reason = outcome.text();
    m_out.error(reason.isEmpty() ? what : what + QStringLiteral(": ") + reason);
    if (m_out.json())
        m_out.object({{"event", "error"}, {"message", what}, {"reason", reason.isEmpty() ? what : reason}});
    return Failure;
}

int CtlContext::usage(const QString& what)
{
    m_out.error(what);
    return Usage;
}
