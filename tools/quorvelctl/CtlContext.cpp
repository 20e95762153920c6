#include "CtlContext.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostInfo>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSemaphore>
#include <QThreadPool>
#include <QTimer>
#include <QVector>
#include <algorithm>
#include <cstdio>
#include <memory>

#include "CtlOutput.h"
#include "app/AppContext.h"
#include "cast/CastSession.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/services/OfferInbox.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/tasks/Task.h"
#include "quorvel/tasks/TaskHandle.h"
#include "quorvel/tasks/Timing.h"
#include "settings/Config.h"

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

CtlContext::CtlContext(AppContext& app, CtlOutput& out, int maxTimeSeconds)
    : m_memory(app.database())
    , m_app(app)
    , m_out(out)
    , m_maxTimeMs(maxTimeSeconds > 0 ? maxTimeSeconds * 1000 : -1)
{
    m_started.start();
}

int CtlContext::timeoutMs() const
{
    return m_maxTimeMs < 0 ? -1 : int(qMax<qint64>(0, m_maxTimeMs - m_started.elapsed()));
}

TransferQueue& CtlContext::transfers()
{
    return *m_app.transfers();
}

OfferInbox& CtlContext::inbox()
{
    return *m_app.inbox();
}

CastSession& CtlContext::cast()
{
    return *m_app.cast();
}

bool CtlContext::parse(
    QCommandLineParser& parser, const QStringList& args, int minPositional, int maxPositional, int* exit)
{
    parser.addHelpOption();
    *exit = Usage;
    if (!parser.parse(args)) {
        const QString unknown = parser.unknownOptionNames().value(0);
        if (unknown.isEmpty()) {
            usage(parser.errorText());
            return false;
        }
        // The options the command takes, as its help lists them, and the global ones.
        QStringList known;
        const QRegularExpression option(QStringLiteral("(?:^|[ ,])(--?[a-z][a-z-]*)"));
        for (auto m = option.globalMatch(helpText(parser)); m.hasNext();)
            known.append(m.next().captured(1));
        QString typed = QStringLiteral("-") + unknown;
        for (const QString& a : args) {
            if (a == QLatin1String("--") + unknown || a.startsWith(QLatin1String("--") + unknown + '='))
                typed = QStringLiteral("--") + unknown;
        }
        unknownOption(typed, known);
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(m_command, helpText(parser));
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
    // Qt's "Usage: %1", in the language Qt's own translation speaks (through a variable:
    // the text is Qt's, not one for our catalogue).
    const char* const qtUsage = "Usage: %1";
    const QString usage
        = QCoreApplication::translate("QCommandLineParser", qtUsage).section(QStringLiteral("%1"), 0, 0);
    const QString program = usage + QStringLiteral("quorvelctl");
    const int at = text.indexOf(usage);
    const int end = text.indexOf(QLatin1Char(' '), at + usage.size());
    if (at >= 0 && end > at)
        text.replace(at, end - at, program + QLatin1Char(' ') + m_command);
    // Qt's own options mean nothing here.
    text.remove(QRegularExpression(QStringLiteral("\n *--help-all [^\n]*")));
    return text + QLatin1Char('\n') + globalsHelp() + QLatin1Char('\n');
}

QString CtlContext::globalsHelp()
{
    return QCoreApplication::translate("CtlHelp",
        "全局选项 (放在命令之前或之后):\n"
        "  --json              标准输出上每行一个 JSON 对象\n"
        "  --timeout <seconds> 每次等待连接, 回复或下一批数据的最长时间\n"
        "  --max-time <seconds>\n"
        "                      整条命令的最长时间\n"
        "  --config <file>     设置文件 (默认: 窗口程序的)\n"
        "  --verbose           在标准错误上输出日志\n"
        "  --version, -V       程序的名称和版本");
}

void CtlContext::printHelp(const QString& command, const QString& text)
{
    if (m_out.json())
        m_out.event(QStringLiteral("help"), {{"command", command}, {"text", text}});
    else
        m_out.text(text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n'));
}

QString CtlContext::didYouMean(const QString& typed, const QStringList& known)
{
    QStringList near;
    for (const QString& word : known) {
        if (!near.contains(QStringLiteral("\"%1\"").arg(word))
            && (distance(word, typed) <= qMax(2, typed.size() / 4)
                || (typed.size() >= 3 && word.contains(typed, Qt::CaseInsensitive))))
            near.append(QStringLiteral("\"%1\"").arg(word));
    }
    return near.isEmpty() ? QString() : QStringLiteral("; did you mean %1?").arg(near.join(QStringLiteral(" or ")));
}

int CtlContext::unknownOption(const QString& typed, const QStringList& known)
{
    return usage(QStringLiteral("unknown option \"%1\"%2").arg(typed, didYouMean(typed, known)));
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
    // The whole command's bound holds for every wait but the clean stop after it.
    if (interruptible && m_maxTimeMs >= 0)
        timeoutMs = timeoutMs < 0 ? this->timeoutMs() : qMin(timeoutMs, this->timeoutMs());
    const auto finished
        = [&] { return done() || (interruptible && (m_interrupted || !m_out.writeFailure().isEmpty())); };
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
    m_app.pool()->start(task);
    if (!waitFor([&] { return end->ended; })) {
        handle.cancel();
        return cutShort();
    }
    return end->outcome;
}

DeviceActionResult CtlContext::runAction(const std::function<quint64(DeviceActions&)>& start)
{
    DeviceActions& actions = *m_app.actions();
    quint64 id = 0;
    bool ended = false;
    DeviceActionResult result;
    // Results arrive on this thread, after start() returned the number.
    const QMetaObject::Connection connection
        = QObject::connect(&actions, &DeviceActions::finished, &m_anchor, [&](const DeviceActionResult& r) {
              if (r.id == id) {
                  result = r;
                  ended = true;
              }
          });
    id = start(actions);
    if (!waitFor([&] { return ended; })) {
        actions.cancel(id);
        result.id = id;
        result.outcome = cutShort();
    }
    QObject::disconnect(connection);
    return result;
}

TaskOutcome CtlContext::cutShort() const
{
    return TaskOutcome::failure(m_interrupted ? QStringLiteral("interrupted")
            : m_out.writeFailure().isEmpty()  ? QStringLiteral("--max-time passed")
                                              : QStringLiteral("standard output failed"));
}

CtlContext::Address CtlContext::parseAddress(const QString& which, QHostAddress* address, int* port)
{
    *port = DiscoveryServer::QueryPort;
    if (address->setAddress(which))
        return Address::Valid;
    // ADDRESS:PORT, or [IPV6]:PORT.
    const int colon = which.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return Address::None;
    QString host = which.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (!address->setAddress(host))
        return Address::None;
    bool ok = false;
    const int p = which.mid(colon + 1).toInt(&ok);
    if (!ok || p < 1 || p > 65535)
        return Address::BadPort;
    *port = p;
    return Address::Valid;
}

bool CtlContext::lookUpHost(const QString& name, QHostAddress* address, QString* why, int waitMs)
{
    // Names with spaces or other signs are device names, never host names.
    static const QRegularExpression hostName(QStringLiteral("^[A-Za-z0-9]([A-Za-z0-9.-]*[A-Za-z0-9])?$"));
    if (!hostName.match(name).hasMatch()) {
        *why = QStringLiteral("no host name");
        return false;
    }
    auto answer = std::make_shared<QHostInfo>();
    auto ended = std::make_shared<bool>(false);
    const int id = QHostInfo::lookupHost(name, &m_anchor, [answer, ended](const QHostInfo& info) {
        *answer = info;
        *ended = true;
    });
    if (!waitFor([&] { return *ended; }, waitMs)) {
        QHostInfo::abortHostLookup(id);
        *why = QStringLiteral("no answer from the name service");
        return false;
    }
    for (const QHostAddress& a : answer->addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            *address = a;
            return true;
        }
    }
    *why = answer->error() == QHostInfo::NoError ? QStringLiteral("it has no IPv4 address") : answer->errorString();
    return false;
}

bool CtlContext::ask(const QHostAddress& address, int port, ServerContent* device)
{
    OneQuery query;
    m_app.pool()->start(
        new DiscoveryServer::ServerInfoGetter(&query, address, quint16(port), m_app.config()->clientName()));
    // Not cut short: the query writes into this frame until it ends (bounded by its wait).
    waitFor([&] { return query.done.available() > 0; }, Timing::current().infoReplyWaitMs + 3000, false);
    if (!query.done.tryAcquire() || !query.ok)
        return false;
    *device = query.result;
    device->port = port;
    m_memory.remember(*device);
    return true;
}

bool CtlContext::resolve(const QString& which, bool describe, ServerContent* device, bool* answered)
{
    m_unresolved = Failure;
    if (answered)
        *answered = true;
    QHostAddress address;
    int port = 0;
    const auto byAddress = [&](const QHostAddress& a, int p) {
        device->address = a;
        device->port = p;
        if (!describe)
            return true;
        ServerContent described;
        const bool said = ask(a, p, &described);
        if (said)
            *device = described; // otherwise the bare address will do
        if (answered)
            *answered = said;
        return true;
    };
    switch (parseAddress(which, &address, &port)) {
    case Address::Valid: return byAddress(address, port);
    case Address::BadPort:
        m_unresolved = usage(QStringLiteral("\"%1\": a port is a whole number from 1 to 65535").arg(which));
        return false;
    case Address::None: break;
    }
    // What this program remembers, asked where it was last seen: no discovery pass for a
    // device that is still there.
    const QList<ServerContent> remembered = m_memory.named(which);
    if (remembered.size() == 1) {
        ServerContent asked;
        if (ask(remembered.first().address, remembered.first().port, &asked) && asked.uuid == remembered.first().uuid) {
            *device = asked;
            return true;
        }
    }
    QString why;
    if (remembered.isEmpty() && lookUpHost(which, &address, &why, 3000))
        return byAddress(address, DiscoveryServer::QueryPort);

    const QList<ServerContent> found = discoveryPass();
    QList<ServerContent> matches;
    for (const ServerContent& s : found) {
        if (s.name.compare(which, Qt::CaseInsensitive) == 0 || s.uuid == which)
            matches.append(s);
    }
    if (matches.size() == 1) {
        *device = matches.first();
        return true;
    }
    if (matches.isEmpty() && remembered.size() == 1) {
        // Silent where it was last seen and not found elsewhere: its last address will
        // give the reason.
        *device = remembered.first();
        if (answered)
            *answered = false;
        return true;
    }
    if (matches.isEmpty())
        matches = remembered;
    if (matches.size() > 1) {
        std::sort(matches.begin(), matches.end(),
            [](const ServerContent& a, const ServerContent& b) { return CtlOutput::where(a) < CtlOutput::where(b); });
        QStringList candidates;
        for (const ServerContent& s : qAsConst(matches))
            candidates.append(QStringLiteral("\"%1\" at %2 (uuid %3)")
                                  .arg(CtlOutput::escaped(s.name), CtlOutput::where(s), CtlOutput::escaped(s.uuid)));
        fail(QStringLiteral("\"%1\" names %2 devices; say which by address").arg(which).arg(matches.size()),
            TaskOutcome::failure(candidates.join(QStringLiteral(", "))));
        return false;
    }
    QStringList known;
    for (const ServerContent& s : found + m_memory.all()) {
        if (!s.name.isEmpty() && !known.contains(s.name))
            known.append(s.name);
    }
    QString hint = didYouMean(which, known);
    if (hint.isEmpty() && !known.isEmpty())
        hint = QStringLiteral("; known devices: \"%1\"").arg(known.join(QStringLiteral("\", \"")));
    fail(QStringLiteral("no device named \"%1\" answered%2").arg(which, hint));
    return false;
}

QList<ServerContent> CtlContext::discoveryPass()
{
    // Discovery remembers every device that answers: the memory has them afterwards.
    DiscoveryServer* server = m_app.discovery();
    auto ended = std::make_shared<bool>(false);
    QMetaObject::Connection c = QObject::connect(
        server, &DiscoveryServer::serverDiscoeryEnd, &m_anchor, [ended] { *ended = true; }, Qt::QueuedConnection);
    server->startDiscovery();
    waitFor([&] { return *ended; }, Timing::current().infoReplyWaitMs + 5000);
    QObject::disconnect(c);
    return server->devices();
}

QList<ServerContent> CtlContext::everyDevice()
{
    QList<ServerContent> devices;
    for (const ServerContent& s : discoveryPass()) {
        if (s.type != ProtocolValue::Client)
            devices.append(s);
    }
    std::sort(devices.begin(), devices.end(),
        [](const ServerContent& a, const ServerContent& b) { return CtlOutput::where(a) < CtlOutput::where(b); });
    return devices;
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
