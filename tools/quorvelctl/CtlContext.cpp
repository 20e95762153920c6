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
#include <QVector>
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
    *exit = Usage;
    if (!parser.parse(args)) {
        usage(parser.errorText());
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        fprintf(stdout, "%s", helpText(parser).toUtf8().constData());
        *exit = Success;
        return false;
    }
    const int n = parser.positionalArguments().size();
    if (n < minPositional) {
        usage(QStringLiteral("too few arguments"));
        return false;
    }
    if (maxPositional >= 0 && n > maxPositional) {
        usage(QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().at(maxPositional)));
        return false;
    }
    return true;
}

QString CtlContext::helpText(const QCommandLineParser& parser) const
{
    QString text = parser.helpText();
    const QString program = QStringLiteral("Usage: quorvelctl");
    const int at = text.indexOf(QStringLiteral("Usage: "));
    const int end = text.indexOf(QLatin1Char(' '), at + 7);
    if (at >= 0 && end > at)
        text.replace(at, end - at, program + QLatin1Char(' ') + m_command);
    return text;
}

bool CtlContext::seconds(const QCommandLineParser& parser, const QString& option, int* ms)
{
    bool ok = false;
    const QString text = parser.value(option);
    const int value = text.toInt(&ok);
    if (!ok || value < 1 || value > 86400) {
        usage(QStringLiteral("--%1 takes a whole number of seconds from 1 to 86400, not \"%2\"").arg(option, text));
        return false;
    }
    *ms = value * 1000;
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

bool CtlContext::parseAddress(const QString& which, QHostAddress* address, int* port)
{
    *port = DiscoveryServer::QueryPort;
    if (address->setAddress(which))
        return true;
    // ADDRESS:PORT, or [IPV6]:PORT.
    const int colon = which.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QString host = which.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const int p = which.mid(colon + 1).toInt(&ok);
    if (!ok || p < 1 || p > 65535 || !address->setAddress(host))
        return false;
    *port = p;
    return true;
}

namespace {
// How many single-character edits turn a into b (case ignored).
int distance(const QString& a, const QString& b)
{
    const QString x = a.toCaseFolded();
    const QString y = b.toCaseFolded();
    QVector<int> row(y.size() + 1);
    for (int j = 0; j <= y.size(); ++j)
        row[j] = j;
    for (int i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= y.size(); ++j) {
            const int above = row[j];
            row[j] = qMin(qMin(row[j] + 1, row[j - 1] + 1), diagonal + (x[i - 1] == y[j - 1] ? 0 : 1));
            diagonal = above;
        }
    }
    return row[y.size()];
}
} // namespace

bool CtlContext::resolve(const QString& which, bool describe, ServerContent* device, bool* answered)
{
    if (answered)
        *answered = true;
    QHostAddress address;
    int port = 0;
    if (parseAddress(which, &address, &port)) {
        device->address = address;
        device->port = port;
        if (!describe)
            return true;
        OneQuery query;
        QThreadPool::globalInstance()->start(new DiscoveryServer::ServerInfoGetter(&query, address, device->port));
        // Not cut short: the query writes into this frame until it ends (bounded by its wait).
        waitFor([&] { return query.done.available() > 0; }, Timing::current().infoReplyWaitMs + 3000, false);
        const bool described = query.done.tryAcquire() && query.ok;
        if (described) {
            *device = query.result; // otherwise the bare address will do
            device->port = port;
            m_memory.remember(*device);
        }
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
    const QList<ServerContent> found = server->devices();
    for (const ServerContent& s : found)
        m_memory.remember(s);
    for (const ServerContent& s : found) {
        if (s.name.compare(which, Qt::CaseInsensitive) == 0 || s.uuid == which) {
            *device = s;
            return true;
        }
    }
    QStringList known;
    for (const ServerContent& s : found + m_memory.all()) {
        if (!s.name.isEmpty() && !known.contains(s.name))
            known.append(s.name);
    }
    QStringList near;
    for (const QString& name : qAsConst(known)) {
        if (distance(name, which) <= qMax(2, which.size() / 4) || name.contains(which, Qt::CaseInsensitive))
            near.append(QStringLiteral("\"%1\"").arg(name));
    }
    QString hint;
    if (!near.isEmpty())
        hint = QStringLiteral("; did you mean %1?").arg(near.join(QStringLiteral(" or ")));
    else if (!known.isEmpty())
        hint = QStringLiteral("; known devices: \"%1\"").arg(known.join(QStringLiteral("\", \"")));
    fail(QStringLiteral("no device named \"%1\" answered%2").arg(which, hint));
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
    m_out.error(what, outcome.text());
    return Failure;
}

int CtlContext::usage(const QString& what)
{
    const QString command = m_command.isEmpty() ? QString() : m_command + QLatin1Char(' ');
    m_out.error(what);
    fprintf(stderr, "Try 'quorvelctl %s--help' for more information.\n", command.toUtf8().constData());
    fflush(stderr);
    return Usage;
}
