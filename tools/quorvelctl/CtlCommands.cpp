#include "CtlCommands.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QSemaphore>
#include <QSet>
#include <QThreadPool>
#include <QTimer>
#include <limits>

#include "Config.h"
#include "CtlOutput.h"
#include "FileDelete.h"
#include "FileDownloader.h"
#include "FileFinder.h"
#include "FileOpen.h"
#include "FileThumb.h"
#include "FileTransferServer.h"
#include "QuorvelClientDatabase.h"
#include "SalutatorySetter.h"
#include "Timing.h"
#include "UserNotices.h"
#include "cast/CastControllerClient.h"
#include "cast/VantropeTask.h"
#include "quorvel/discovery/DiscoveryListener.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/discovery/QxtDiscoverableService.h"
#include "quorvel/server/FileDistribution.h"
#include "quorvel/server/IncomingFile.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/server/ReplyOperate.h"
#include <QSocketNotifier>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {
const QStringList SortOrders{"file_name_increase", "file_name_decrease", "file_size_increase", "file_size_decrease",
    "date_modified_increase", "date_modified_decrease"};

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

QJsonObject deviceJson(const ServerContent& s)
{
    QJsonObject o;
    o["name"] = s.name;
    o["address"] = s.address.toString();
    o["uuid"] = s.uuid;
    o["type"] = s.type;
    o["version"] = s.version;
    o["os"] = s.os;
    QJsonObject features;
    for (const QString& plain : s.supportList)
        features[plain] = QJsonValue();
    for (const SupportEntry& e : s.supportPorts)
        features[e.name] = e.port;
    o["features"] = features;
    return o;
}

QString featuresText(const ServerContent& s)
{
    QStringList parts = s.supportList;
    for (const SupportEntry& e : s.supportPorts)
        parts << QStringLiteral("%1:%2").arg(e.name).arg(e.port);
    parts.sort();
    return parts.join(QLatin1Char(','));
}

int configType(const QString& key)
{
    for (int type = Config::ClientName; type <= Config::CastShortcut; ++type) {
        if (Config::keyOf(type).compare(key, Qt::CaseInsensitive) == 0)
            return type;
    }
    return -1;
}
} // namespace

CtlCommands::CtlCommands(CtlOutput& out, int timeoutSeconds, QObject* parent)
    : QObject(parent)
    , m_out(out)
    , m_timeoutMs(timeoutSeconds > 0 ? timeoutSeconds * 1000 : -1)
{
}

QString CtlCommands::usage()
{
    return QStringLiteral(
        "Usage: quorvelctl [--json] [--timeout SECONDS] [--verbose] COMMAND ARGS...\n"
        "\n"
        "DEVICE is an IP address or a device name (found by one discovery pass).\n"
        "\n"
        "Commands:\n"
        "  discover [--wait SECONDS]            find devices and other clients\n"
        "  ls DEVICE [PATH] [--sort ORDER]      list a folder of a device\n"
        "  upload DEVICE FILE... [--secure]     upload files, one after another\n"
        "  download DEVICE REMOTE_PATH [-o LOCAL_PATH]\n"
        "  open DEVICE REMOTE_PATH              show a file on the device's screen\n"
        "  rm DEVICE REMOTE_PATH                delete a file on the device\n"
        "  thumb DEVICE REMOTE_PATH -o FILE     save a file's thumbnail\n"
        "  welcome DEVICE TEXT                  set the welcome text\n"
        "  history DEVICE                       transfers with the device, newest first\n"
        "  devices add ADDRESS [PORT] | devices rm ADDRESS PORT | devices ls\n"
        "  config get KEY | config set KEY VALUE\n"
        "  serve [--accept | --ask]             receive files other parties offer, until interrupted\n"
        "  offer CLIENT FILE... [--wait SECONDS]\n"
        "                                       offer files to another client and serve them\n"
        "  cast DEVICE [--size WxH]             cast this screen to the device (p pause, r resume,\n"
        "                                       a aspect ratio, s stop, on standard input)\n"
        "\n"
        "Each command takes --help. Exit status: 0 success, 1 failure, 2 usage error.");
}

void CtlCommands::noteLogLine(const QString& line)
{
    static const QString DeviceSays = QStringLiteral("Device says: ");
    const int says = line.indexOf(DeviceSays);
    if (says >= 0) {
        QMutexLocker lock(&m_errorLock);
        m_deviceReason = line.mid(says + DeviceSays.size());
        return;
    }
    if (!line.startsWith(QLatin1String("[E]")))
        return;
    // "[E][Class] text" -> "text"
    const int close = line.indexOf(QLatin1Char(']'), 3);
    QMutexLocker lock(&m_errorLock);
    m_lastError = close > 0 ? line.mid(close + 1).trimmed() : line;
}

QString CtlCommands::takeLastError()
{
    QMutexLocker lock(&m_errorLock);
    // The device's own words say more than our log line about them.
    const QString e = m_deviceReason.isEmpty() ? m_lastError : m_deviceReason;
    m_lastError.clear();
    m_deviceReason.clear();
    return e;
}

int CtlCommands::fail(const QString& what)
{
    const QString reason = takeLastError();
    m_out.error(reason.isEmpty() ? what : what + QStringLiteral(": ") + reason);
    if (m_out.json()) {
        QJsonObject o;
        o["event"] = QStringLiteral("error");
        o["message"] = what;
        o["reason"] = reason;
        m_out.object(o);
    }
    return Failure;
}

bool CtlCommands::waitFor(const std::function<bool()>& done, int timeoutMs)
{
    if (timeoutMs < 0)
        timeoutMs = m_timeoutMs;
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    poll.start(10);
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (timeoutMs > 0)
        limit.start(timeoutMs);
    if (!done())
        loop.exec();
    return done();
}

bool CtlCommands::parse(
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

bool CtlCommands::resolve(const QString& which, bool describe, ServerContent* device)
{
    const QHostAddress address(which);
    if (!address.isNull()) {
        device->address = address;
        device->port = DiscoveryServer::QueryPort;
        if (!describe)
            return true;
        OneQuery query;
        QThreadPool::globalInstance()->start(new DiscoveryServer::ServerInfoGetter(&query, address, device->port));
        waitFor([&] { return query.done.available() > 0; }, Timing::current().infoReplyWaitMs + 3000);
        if (query.done.tryAcquire() && query.ok)
            *device = query.result; // otherwise the bare address will do
        return true;
    }
    // A name: one discovery pass.
    DiscoveryServer* server = DiscoveryServer::instance();
    bool ended = false;
    QMetaObject::Connection c = connect(
        server, &DiscoveryServer::serverDiscoeryEnd, this, [&] { ended = true; }, Qt::QueuedConnection);
    server->startDiscovery();
    waitFor([&] { return ended; }, Timing::current().infoReplyWaitMs + 5000);
    disconnect(c);
    for (const ServerContent& s : server->devices()) {
        if (s.name == which || s.uuid == which) {
            *device = s;
            return true;
        }
    }
    m_out.error(QStringLiteral("no device named \"%1\" answered").arg(which));
    return false;
}

int CtlCommands::run(const QStringList& arguments)
{
    if (arguments.isEmpty()) {
        fprintf(stderr, "%s\n", usage().toUtf8().constData());
        return Usage;
    }
    using Command = int (CtlCommands::*)(const QStringList&);
    static const QHash<QString, Command> commands{
        {"discover", &CtlCommands::discover},
        {"ls", &CtlCommands::ls},
        {"upload", &CtlCommands::upload},
        {"download", &CtlCommands::download},
        {"open", &CtlCommands::open},
        {"rm", &CtlCommands::rm},
        {"thumb", &CtlCommands::thumb},
        {"welcome", &CtlCommands::welcome},
        {"history", &CtlCommands::history},
        {"devices", &CtlCommands::devices},
        {"config", &CtlCommands::config},
        {"serve", &CtlCommands::serve},
        {"offer", &CtlCommands::offer},
        {"cast", &CtlCommands::cast},
    };
    const Command command = commands.value(arguments.first());
    if (!command) {
        m_out.error(QStringLiteral("unknown command \"%1\"").arg(arguments.first()));
        fprintf(stderr, "%s\n", usage().toUtf8().constData());
        return Usage;
    }
    // The command's own parser sees "quorvelctl COMMAND ...".
    return (this->*command)(QStringList{QStringLiteral("quorvelctl ") + arguments.first()} + arguments.mid(1));
}

int CtlCommands::discover(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("One discovery pass: hand-added devices, mDNS and broadcast."));
    p.addOption({"wait", "Listen this many seconds (default 3).", "seconds", "3"});
    int exit = 0;
    if (!parse(p, args, 0, 0, &exit))
        return exit;
    const int waitMs = qMax(1, p.value("wait").toInt()) * 1000;

    DiscoveryServer* server = DiscoveryServer::instance();
    QList<ServerContent> found;
    connect(
        server, &DiscoveryServer::serverDiscoveried, this,
        [&](const ServerContent& s) {
            found.erase(std::remove_if(
                            found.begin(), found.end(), [&](const ServerContent& o) { return o.address == s.address; }),
                found.end());
            found.append(s);
        },
        Qt::QueuedConnection);
    server->startDiscovery();
    waitFor([] { return false; }, waitMs);

    QList<QHostAddress> manual;
    for (const ServerContent& m : QuorvelClientDatabase::instance()->getManualDevices())
        manual.append(m.address);
    const QList<QHostAddress> mdns = server->mdnsAddresses();
    std::sort(found.begin(), found.end(), [](const ServerContent& a, const ServerContent& b) {
        return a.address.toIPv4Address() < b.address.toIPv4Address();
    });
    for (const ServerContent& s : qAsConst(found)) {
        const QString method = manual.contains(s.address)
            ? QStringLiteral("manual")
            : (mdns.contains(s.address) ? QStringLiteral("mdns") : QStringLiteral("broadcast"));
        if (m_out.json()) {
            QJsonObject o = deviceJson(s);
            o["event"] = QStringLiteral("device");
            o["found_by"] = method;
            m_out.object(o);
        } else {
            m_out.line(
                QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\t%7\t%8")
                    .arg(s.address.toString(), s.name, s.type, s.uuid, s.version, s.os, featuresText(s), method));
        }
    }
    return Success;
}

int CtlCommands::ls(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("List a folder of a device, in the device's order."));
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addPositionalArgument("PATH", "Folder on the device (default: the root).", "[PATH]");
    p.addOption({"sort", "One of: " + SortOrders.join(", ") + ".", "order", SortOrders.first()});
    int exit = 0;
    if (!parse(p, args, 1, 2, &exit))
        return exit;
    if (!SortOrders.contains(p.value("sort"))) {
        m_out.error(QStringLiteral("unknown sort order \"%1\"").arg(p.value("sort")));
        return Usage;
    }
    ServerContent device;
    if (!resolve(p.positionalArguments().at(0), false, &device))
        return Failure;
    const QString path = p.positionalArguments().value(1);
    auto* finder = new FileFinder(path, p.value("sort"), device);
    QList<FileContent> entries;
    bool delivered = false;
    connect(
        finder, &FileFinder::findFileEnd, this,
        [&](const QList<FileContent>& l) {
            entries = l;
            delivered = true;
        },
        Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(finder);
    waitFor([&] { return delivered || QThreadPool::globalInstance()->activeThreadCount() == 0; });
    QCoreApplication::sendPostedEvents();
    if (!delivered)
        return fail(QStringLiteral("listing %1 failed").arg(path.isEmpty() ? QStringLiteral("/") : path));
    for (const FileContent& e : qAsConst(entries)) {
        const QString date = QDateTime::fromMSecsSinceEpoch(e.dateModified).toString(Qt::ISODate);
        if (m_out.json()) {
            QJsonObject o;
            o["event"] = QStringLiteral("entry");
            o["name"] = e.name;
            o["type"] = e.type;
            o["size"] = double(e.size);
            o["date_modified"] = double(e.dateModified);
            m_out.object(o);
        } else {
            m_out.line(QStringLiteral("%1\t%2\t%3\t%4").arg(e.isDir() ? "dir" : "file").arg(e.size).arg(date, e.name));
        }
    }
    return Success;
}

bool CtlCommands::existingFiles(const QStringList& names, QStringList* files)
{
    for (const QString& name : names) {
        const QFileInfo info(name);
        if (!info.isFile()) {
            m_out.error(QStringLiteral("%1: no such file").arg(name));
            return false;
        }
        files->append(QDir::fromNativeSeparators(info.absoluteFilePath()));
    }
    return true;
}

int CtlCommands::upload(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Upload files to a device, one after another."));
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addPositionalArgument("FILE", "Files to upload.", "FILE...");
    p.addOption({"secure", "Store them in the device's confidential area."});
    int exit = 0;
    if (!parse(p, args, 2, -1, &exit))
        return exit;
    QStringList files;
    if (!existingFiles(p.positionalArguments().mid(1), &files))
        return Failure;
    ServerContent device;
    if (!resolve(p.positionalArguments().at(0), true, &device))
        return Failure;

    FileTransferServer* service = FileTransferServer::instance();
    QHash<int, ProgressContent> last;
    QHash<int, qint64> sizes;
    connect(
        service, &FileTransferServer::uploadProgress, this,
        [&](const ProgressContent& pc) {
            last.insert(pc.id, pc);
            if (pc.progress >= 0 && pc.progress <= 100)
                m_out.progress(pc, sizes.value(pc.id, -1));
        },
        Qt::QueuedConnection);
    QList<int> ids;
    for (const QString& f : qAsConst(files)) {
        const int id = service->uploadFile(f, device, p.isSet("secure"));
        ids.append(id);
        sizes.insert(id, QFileInfo(f).size());
    }
    const auto finished = [&] {
        int n = 0;
        for (int id : ids)
            n += last.contains(id) && (last[id].progress == 101 || last[id].progress == -1);
        return n == ids.size();
    };
    if (!waitFor(finished))
        return fail(QStringLiteral("upload timed out"));
    service->pool()->waitForDone(); // each task writes its history record as it ends
    int failures = 0;
    for (int id : ids) {
        const ProgressContent& pc = last[id];
        const bool ok = pc.progress == 101;
        if (m_out.json()) {
            QJsonObject o;
            o["event"] = QStringLiteral("result");
            o["command"] = QStringLiteral("upload");
            o["ok"] = ok;
            o["file"] = pc.nativePath;
            o["remote"] = pc.remotePath;
            o["id"] = id;
            m_out.object(o);
        } else if (ok) {
            m_out.line(QStringLiteral("uploaded %1 -> %2").arg(pc.nativePath, pc.remotePath));
        }
        if (!ok) {
            ++failures;
            fail(QStringLiteral("upload of %1 failed").arg(pc.nativePath));
        }
    }
    return failures ? Failure : Success;
}

int CtlCommands::download(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Download a file from a device."));
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addPositionalArgument("REMOTE_PATH", "The file on the device.");
    p.addOption({{"o", "output"}, "Where to store it (default: the DownloadPath setting).", "local_path"});
    int exit = 0;
    if (!parse(p, args, 2, 2, &exit))
        return exit;
    const QString remote = p.positionalArguments().at(1);
    const QString name = remote.split(QLatin1Char('/')).last();
    QString local = p.value("output");
    if (local.isEmpty()) {
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")) {
            m_out.error(QStringLiteral("\"%1\" names no file; give -o").arg(remote));
            return Usage;
        }
        const QString folder = Config::instance()->value(Config::DownloadPath).toString();
        QDir().mkpath(folder);
        local = QDir(folder).filePath(name);
    } else if (QFileInfo(local).isDir()) {
        local = QDir(local).filePath(name);
    }
    ServerContent device;
    if (!resolve(p.positionalArguments().at(0), true, &device))
        return Failure;

    auto* task = new FileDownloader(remote, local, device, 0);
    ProgressContent last;
    last.progress = 0;
    bool finished = false;
    qint64 size = -1;
    connect(
        task, &FileDownloader::updateProgress, this,
        [&](const ProgressContent& pc) {
            last = pc;
            finished = pc.progress == 101 || pc.progress == -1;
            if (!finished)
                m_out.progress(pc, size);
        },
        Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(task);
    if (!waitFor([&] { return finished; }))
        return fail(QStringLiteral("download timed out"));
    QThreadPool::globalInstance()->waitForDone(); // the task writes its history record as it ends
    const bool ok = last.progress == 101;
    if (m_out.json()) {
        QJsonObject o;
        o["event"] = QStringLiteral("result");
        o["command"] = QStringLiteral("download");
        o["ok"] = ok;
        o["remote"] = remote;
        o["file"] = local;
        o["id"] = last.id;
        m_out.object(o);
    } else if (ok) {
        m_out.line(QStringLiteral("downloaded %1 -> %2").arg(remote, local));
    }
    return ok ? Success : fail(QStringLiteral("download of %1 failed").arg(remote));
}

// open, rm and welcome: one device command whose outcome is the notice its task gives.
template <typename Task, typename Make>
int CtlCommands::noticeCommand(const QStringList& args, const NoticeCommand& command, Make make)
{
    QCommandLineParser p;
    p.setApplicationDescription(command.description);
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addPositionalArgument(command.argument, command.argumentHelp);
    int exit = 0;
    if (!parse(p, args, 2, 2, &exit))
        return exit;
    const QString argument = p.positionalArguments().at(1);
    if (argument.isEmpty() && !command.emptyArgument.isEmpty()) {
        m_out.error(command.emptyArgument);
        return Usage;
    }
    ServerContent device;
    if (!resolve(p.positionalArguments().at(0), false, &device))
        return Failure;
    Task* task = make(argument, device);
    QString notice;
    connect(
        task, &Task::notify, this, [&](const QString& n) { notice = n; }, Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(task);
    waitFor([&] { return !notice.isEmpty(); });
    const bool ok = notice == command.success;
    if (m_out.json())
        m_out.object({{"event", "result"}, {"command", command.name}, {"ok", ok}, {"notice", notice}});
    else if (ok)
        m_out.line(notice);
    return ok ? Success : fail(command.failure.arg(argument));
}

int CtlCommands::open(const QStringList& args)
{
    const NoticeCommand command{"open", QStringLiteral("Show a file on the device's screen."), "REMOTE_PATH",
        "The file on the device.", QCoreApplication::translate("FileOpen", "打开文件成功."),
        QStringLiteral("opening %1 failed"), QString()};
    return noticeCommand<FileOpen>(
        args, command, [](const QString& path, const ServerContent& device) { return new FileOpen(path, device); });
}

int CtlCommands::rm(const QStringList& args)
{
    const NoticeCommand command{"rm", QStringLiteral("Delete a file on the device."), "REMOTE_PATH",
        "The file on the device.", QCoreApplication::translate("FileDelete", "删除文件成功."),
        QStringLiteral("deleting %1 failed"), QString()};
    return noticeCommand<FileDelete>(
        args, command, [](const QString& path, const ServerContent& device) { return new FileDelete(path, device); });
}

int CtlCommands::welcome(const QStringList& args)
{
    const NoticeCommand command{"welcome", QStringLiteral("Set the welcome text a device shows."), "TEXT",
        "The welcome text.", QCoreApplication::translate("SalutatorySetter", "设置欢迎辞成功."),
        QStringLiteral("setting the welcome text \"%1\" failed"),
        QCoreApplication::translate("CtlCommands", "欢迎辞内容不能为空!")};
    return noticeCommand<SalutatorySetter>(args, command,
        [](const QString& text, const ServerContent& device) { return new SalutatorySetter(text, device); });
}

int CtlCommands::thumb(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Save the thumbnail of a file on the device."));
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addPositionalArgument("REMOTE_PATH", "The file on the device.");
    p.addOption({{"o", "output"}, "Where to save the thumbnail.", "file"});
    int exit = 0;
    if (!parse(p, args, 2, 2, &exit))
        return exit;
    if (p.value("output").isEmpty()) {
        m_out.error(QStringLiteral("thumb needs -o FILE"));
        return Usage;
    }
    ServerContent device;
    if (!resolve(p.positionalArguments().at(0), true, &device))
        return Failure;
    const QString remote = p.positionalArguments().at(1);
    // The cache is keyed by the file's modification time: take it from the listing.
    const int slash = remote.lastIndexOf(QLatin1Char('/'));
    const QString folder = slash > 0 ? remote.left(slash) : QString();
    const QString name = remote.mid(slash + 1);
    qint64 dateModified = 0;
    {
        auto* finder = new FileFinder(folder, SortOrders.first(), device);
        bool delivered = false;
        connect(
            finder, &FileFinder::findFileEnd, this,
            [&](const QList<FileContent>& l) {
                for (const FileContent& e : l) {
                    if (e.name == name)
                        dateModified = e.dateModified;
                }
                delivered = true;
            },
            Qt::QueuedConnection);
        QThreadPool::globalInstance()->start(finder);
        waitFor([&] { return delivered || QThreadPool::globalInstance()->activeThreadCount() == 0; });
        QCoreApplication::sendPostedEvents();
    }
    auto* task = new FileThumb(remote, device, dateModified, QModelIndex());
    bool finished = false;
    bool ok = false;
    QByteArray bytes;
    connect(
        task, &FileThumb::getThumbEnd, this,
        [&](bool result, const QByteArray& data, const QModelIndex&) {
            ok = result;
            bytes = data;
            finished = true;
        },
        Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(task);
    if (!waitFor([&] { return finished; }) || !ok)
        return fail(QStringLiteral("no thumbnail for %1").arg(remote));
    QFile out(p.value("output"));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        return fail(QStringLiteral("cannot write %1").arg(out.fileName()));
    if (m_out.json())
        m_out.object({{"event", "result"}, {"command", "thumb"}, {"ok", true}, {"file", out.fileName()},
            {"bytes", bytes.size()}});
    else
        m_out.line(QStringLiteral("thumbnail of %1 -> %2 (%3 bytes)").arg(remote, out.fileName()).arg(bytes.size()));
    return Success;
}

int CtlCommands::history(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The transfers with a device, newest first."));
    p.addPositionalArgument("DEVICE", "IP address, name or uuid.");
    int exit = 0;
    if (!parse(p, args, 1, 1, &exit))
        return exit;
    const QString which = p.positionalArguments().at(0);
    QString uuid;
    if (!QHostAddress(which).isNull()) {
        ServerContent device;
        resolve(which, true, &device);
        uuid = device.uuid;
        if (uuid.isEmpty())
            return fail(QStringLiteral("%1 did not say who it is").arg(which));
    } else {
        uuid = which; // a uuid, or a name found by discovery
        if (QuorvelClientDatabase::instance()->getRecentFiles(uuid).isEmpty()) {
            ServerContent device;
            if (resolve(which, true, &device))
                uuid = device.uuid;
        }
    }
    for (const RecentFilesContent& r : QuorvelClientDatabase::instance()->getRecentFiles(uuid)) {
        if (m_out.json()) {
            QJsonObject o;
            o["event"] = QStringLiteral("record");
            o["type"] = r.type;
            o["remote"] = r.remotePath;
            o["file"] = r.nativePath;
            o["operate_time"] = double(r.operateTime);
            o["date_modified"] = double(r.dateModified);
            m_out.object(o);
        } else {
            m_out.line(QStringLiteral("%1\t%2\t%3\t%4")
                           .arg(QDateTime::fromMSecsSinceEpoch(r.operateTime).toString(Qt::ISODate), r.type,
                               r.remotePath, r.nativePath));
        }
    }
    return Success;
}

int CtlCommands::devices(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("The hand-added devices: devices add ADDRESS [PORT], devices rm "
                                               "ADDRESS PORT, devices ls."));
    p.addPositionalArgument("ACTION", "add, rm or ls.");
    int exit = 0;
    if (!parse(p, args, 1, 3, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    QuorvelClientDatabase* db = QuorvelClientDatabase::instance();
    const QString action = pos.at(0);
    if (action == QLatin1String("ls") && pos.size() == 1) {
        for (const ServerContent& d : db->getManualDevices()) {
            if (m_out.json())
                m_out.object({{"event", "device"}, {"address", d.address.toString()}, {"port", d.port}});
            else
                m_out.line(QStringLiteral("%1\t%2").arg(d.address.toString()).arg(d.port));
        }
        return Success;
    }
    if ((action == QLatin1String("add") && pos.size() >= 2) || (action == QLatin1String("rm") && pos.size() == 3)) {
        ServerContent d;
        d.address = QHostAddress(pos.at(1));
        bool ok = true;
        d.port = pos.size() > 2 ? pos.at(2).toInt(&ok) : DiscoveryServer::QueryPort;
        if (d.address.isNull() || !ok || d.port <= 0 || d.port > 65535) {
            m_out.error(QStringLiteral("bad address or port"));
            return Usage;
        }
        if (action == QLatin1String("add")) {
            for (const ServerContent& existing : db->getManualDevices()) {
                if (existing.address == d.address)
                    return fail(QStringLiteral("%1 is added already").arg(d.address.toString()));
            }
            if (!db->addManualDevice(d))
                return fail(QStringLiteral("cannot add %1").arg(d.address.toString()));
        } else if (!db->removeManualDevice(d)) {
            return fail(QStringLiteral("cannot remove %1").arg(d.address.toString()));
        }
        if (m_out.json())
            m_out.object({{"event", "result"}, {"command", "devices " + action}, {"ok", true}});
        return Success;
    }
    m_out.error(QStringLiteral("usage: devices add ADDRESS [PORT] | devices rm ADDRESS PORT | devices ls"));
    return Usage;
}

int CtlCommands::config(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(
        QStringLiteral("Read or change a setting: config get KEY, config set KEY VALUE. Keys: ClientName, SecureMode, "
                       "DownloadPath, ConfirmCast, LastSelectedServerUUID, StartUp, CastShortcut."));
    p.addPositionalArgument("ACTION", "get or set.");
    int exit = 0;
    if (!parse(p, args, 2, 3, &exit))
        return exit;
    const QStringList pos = p.positionalArguments();
    const int type = configType(pos.at(1));
    if (type < 0) {
        m_out.error(QStringLiteral("unknown setting \"%1\"").arg(pos.at(1)));
        return Usage;
    }
    Config* c = Config::instance();
    if (pos.at(0) == QLatin1String("get") && pos.size() == 2) {
        const QVariant v = c->value(type);
        const QString text = v.userType() == QMetaType::Bool ? (v.toBool() ? "true" : "false") : v.toString();
        if (m_out.json())
            m_out.object({{"event", "setting"}, {"key", Config::keyOf(type)}, {"value", QJsonValue::fromVariant(v)}});
        else
            m_out.line(text);
        return Success;
    }
    if (pos.at(0) == QLatin1String("set") && pos.size() == 3) {
        QVariant value = pos.at(2);
        if (Config::defaultOf(type).userType() == QMetaType::Bool) {
            const QString t = pos.at(2).toLower();
            if (t != "true" && t != "false" && t != "1" && t != "0") {
                m_out.error(QStringLiteral("%1 takes true or false").arg(Config::keyOf(type)));
                return Usage;
            }
            value = t == "true" || t == "1";
        }
        if (!c->setValue(type, value))
            return fail(QStringLiteral("cannot set %1 to \"%2\"").arg(Config::keyOf(type), pos.at(2)));
        if (m_out.json())
            m_out.object({{"event", "result"}, {"command", "config set"}, {"ok", true}});
        return Success;
    }
    m_out.error(QStringLiteral("usage: config get KEY | config set KEY VALUE"));
    return Usage;
}

int CtlCommands::serve(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Receive files that devices and other clients offer: answer discovery on UDP %1, take requests on "
        "UDP %2, announce this client on mDNS. Offered files go to the DownloadPath setting after a yes "
        "(--ask, read from standard input) or at once (--accept). Runs until interrupted.")
                                    .arg(ProtocolPort::Discovery)
                                    .arg(ProtocolPort::Operation));
    p.addOption({"accept", "Take every offered file without asking."});
    p.addOption({"ask", "Ask for each offered file (the default)."});
    int exit = 0;
    if (!parse(p, args, 0, 0, &exit))
        return exit;
    const bool accept = p.isSet("accept") && !p.isSet("ask");

    DiscoveryListener::instance()->start();
    auto* listener = new OperateListener(this);
    bool bound = false;
    connect(
        listener, &OperateListener::listening, this, [&] { bound = true; }, Qt::QueuedConnection);
    listener->start();
    auto* announce = new QxtDiscoverableService(DiscoveryServer::ServiceType, DiscoveryServer::OwnServiceName, this);
    announce->setPort(DiscoveryServer::QueryPort);
    connect(announce, &QxtDiscoverableService::registrationError, this, [this](int code) {
        m_out.error(QStringLiteral("not announced on mDNS (error %1); discovery by broadcast still works").arg(code));
    });
    announce->registerService();
    waitFor([&] { return bound; }, 3000);

    struct Offer {
        QString remote;
        ServerContent from;
    };
    QList<Offer> pending; // waiting for an answer, oldest first
    const auto startDownload = [this](const Offer& offer) {
        QString reason;
        const QString name = IncomingFile::nameOf(offer.remote, &reason);
        const QString folder = Config::instance()->value(Config::DownloadPath).toString();
        QDir().mkpath(folder);
        const QString target = IncomingFile::targetIn(folder, name);
        auto* task = new FileDownloader(offer.remote, target, offer.from, 0);
        connect(
            task, &FileDownloader::updateProgress, this,
            [this, target, offer](const ProgressContent& pc) {
                if (pc.progress >= 0 && pc.progress <= 100) {
                    m_out.progress(pc, -1);
                    return;
                }
                const bool ok = pc.progress == 101;
                if (m_out.json()) {
                    m_out.object({{"event", "result"}, {"command", "serve"}, {"ok", ok}, {"file", target},
                        {"remote", offer.remote}, {"from", offer.from.address.toString()}});
                } else if (ok) {
                    m_out.line(QStringLiteral("received %1 -> %2").arg(offer.remote, target));
                } else {
                    fail(QStringLiteral("receiving %1 failed").arg(offer.remote));
                }
            },
            Qt::QueuedConnection);
        QThreadPool::globalInstance()->start(task);
    };
    const auto ask = [this, &pending] {
        if (pending.isEmpty())
            return;
        const Offer& o = pending.first();
        const QString who = o.from.name.isEmpty()
            ? o.from.address.toString()
            : QStringLiteral("%1 (%2)").arg(o.from.name, o.from.address.toString());
        if (m_out.json())
            m_out.object(
                {{"event", "offer"}, {"remote", o.remote}, {"from", o.from.address.toString()}, {"name", o.from.name}});
        fprintf(stderr, "%s offers \"%s\". Accept? [y/N] ", who.toUtf8().constData(),
            o.remote.split(QLatin1Char('/')).last().toUtf8().constData());
        fflush(stderr);
    };
    connect(ReplyOperate::relay(), &ReplyOperate::isDownloadFile, this,
        [&](const QString& filePath, const ServerContent& from, quint16) {
            const Offer offer{filePath, from};
            if (accept) {
                startDownload(offer);
                return;
            }
            pending.append(offer);
            if (pending.size() == 1)
                ask();
        });
    // Answers come line by line on standard input, without blocking the event loop:
    // status queries keep being answered while a question is open.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray typed;
    connect(&input, &QSocketNotifier::activated, this, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        typed.append(buffer, int(n));
        int newline;
        while ((newline = typed.indexOf('\n')) >= 0) {
            const QByteArray answer = typed.left(newline).trimmed().toLower();
            typed.remove(0, newline + 1);
            if (pending.isEmpty())
                continue;
            const Offer offer = pending.takeFirst();
            if (answer == "y" || answer == "yes")
                startDownload(offer);
            else
                m_out.line(QStringLiteral("declined %1").arg(offer.remote));
            ask();
        }
    });
    if (!m_out.json())
        m_out.line(QStringLiteral("serving; offered files go to %1")
                       .arg(Config::instance()->value(Config::DownloadPath).toString()));
    else
        m_out.object({{"event", "serving"}, {"folder", Config::instance()->value(Config::DownloadPath).toString()}});
    waitFor([] { return false; }, m_timeoutMs > 0 ? m_timeoutMs : std::numeric_limits<int>::max());
    return Success;
}

int CtlCommands::offer(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Offer files to another client (or a device) and serve them until each was fetched or the wait ends."));
    p.addPositionalArgument("CLIENT", "IP address or name.");
    p.addPositionalArgument("FILE", "Files to offer.", "FILE...");
    p.addOption({"wait", "Serve at most this many seconds (default 300).", "seconds", "300"});
    int exit = 0;
    if (!parse(p, args, 2, -1, &exit))
        return exit;
    QStringList files;
    if (!existingFiles(p.positionalArguments().mid(1), &files))
        return Failure;
    ServerContent client;
    if (!resolve(p.positionalArguments().at(0), false, &client))
        return Failure;

    DiscoveryListener::instance()->start();
    auto* listener = new OperateListener(this);
    bool bound = false;
    connect(
        listener, &OperateListener::listening, this, [&] { bound = true; }, Qt::QueuedConnection);
    listener->start();
    if (!waitFor([&] { return bound; }, 3000))
        return fail(
            QStringLiteral("UDP port %1 is taken: is a client already serving here?").arg(OperateListener::Port));

    QSet<QString> fetched;
    connect(ReplyOperate::relay(), &ReplyOperate::servingProgress, this, [&](const ProgressContent& pc) {
        if (pc.progress == 101)
            fetched.insert(pc.nativePath);
        else if (pc.progress >= 0)
            m_out.progress(pc, QFileInfo(pc.nativePath).size());
    });
    int sent = 0;
    for (const QString& f : qAsConst(files)) {
        auto* task = new FileDistribution(f, client);
        connect(
            task, &FileDistribution::offered, this,
            [&, f](bool ok) {
                ++sent;
                if (!ok)
                    m_out.error(QStringLiteral("could not offer %1").arg(f));
            },
            Qt::QueuedConnection);
        QThreadPool::globalInstance()->start(task);
    }
    const auto allFetched = [&] {
        for (const QString& f : qAsConst(files)) {
            if (!fetched.contains(f))
                return false;
        }
        return true;
    };
    int confirmed = 0;
    connect(ReplyOperate::relay(), &ReplyOperate::resultQueried, this, [&](uint, bool ok) { confirmed += ok; });
    QElapsedTimer waited;
    waited.start();
    const int waitMs = qMax(1, p.value("wait").toInt()) * 1000;
    waitFor(allFetched, waitMs);
    // The fetching party asks next whether what it holds is right: stay for that answer
    // (a device may not ask at all, so not for long).
    if (allFetched())
        waitFor([&] { return confirmed >= files.size(); }, int(qBound<qint64>(1, waitMs - waited.elapsed(), 15000)));
    for (const QString& f : qAsConst(files)) {
        const bool ok = fetched.contains(f);
        if (m_out.json())
            m_out.object({{"event", "result"}, {"command", "offer"}, {"ok", ok}, {"file", f}});
        else if (ok)
            m_out.line(QStringLiteral("fetched %1").arg(f));
    }
    QThreadPool::globalInstance()->waitForDone(5000); // the serving tasks write their records
    return allFetched() ? Success : fail(QStringLiteral("not every file was fetched"));
}

namespace {
// One line from standard input; without echo when asked and on a terminal (passwords).
QString readLine(bool echo)
{
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) == 1;
    if (!echo && terminal) {
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QByteArray line;
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) == 1 && c != '\n')
        line.append(c);
    if (!echo && terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        fputc('\n', stderr);
    }
    return QString::fromUtf8(line).trimmed();
}
} // namespace

int CtlCommands::cast(const QStringList& args)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral(
        "Cast this screen to a device: agree the cast (confirmation and password asked here), start the casting "
        "program and steer it. While it runs, type p (pause), r (resume), a (aspect ratio) or s (stop)."));
    p.addPositionalArgument("DEVICE", "IP address or name.");
    p.addOption({"size", "The screen size to announce.", "WxH", "1920x1080"});
    int exit = 0;
    if (!parse(p, args, 1, 1, &exit))
        return exit;
    const QStringList size = p.value("size").split(QLatin1Char('x'));
    const int width = size.value(0).toInt();
    const int height = size.value(1).toInt();
    if (size.size() != 2 || width <= 0 || height <= 0) {
        m_out.error(QStringLiteral("--size takes WIDTHxHEIGHT"));
        return Usage;
    }
    ServerContent device;
    if (!resolve(p.positionalArguments().at(0), true, &device))
        return Failure;
    bool found = false;
    const SupportEntry feature = device.supportPort(QStringLiteral("Vantrope"), &found);
    if (!found)
        return fail(QStringLiteral("%1 does not announce casting").arg(device.address.toString()));

    auto* task = new VantropeTask(device.address, quint16(feature.port),
        device.name.isEmpty() ? device.address.toString() : device.name,
        Config::instance()->value(Config::ClientName).toString(), width, height);
    task->setAutoDelete(false);
    connect(
        task, &VantropeTask::waitForUserConfirmCast, this,
        [task](const QString& name) {
            fprintf(stderr, "Cast to \"%s\"? [y/N] ", name.toUtf8().constData());
            fflush(stderr);
            const QString answer = readLine(true).toLower();
            task->setConfirmCastResult(answer == QLatin1String("y") || answer == QLatin1String("yes"));
        },
        Qt::BlockingQueuedConnection);
    connect(
        task, &VantropeTask::waitForUserInputPassword, this,
        [task](const QString&, const QString& title, const QString& content) {
            fprintf(stderr, "%s: %s\nPassword: ", title.toUtf8().constData(), content.toUtf8().constData());
            fflush(stderr);
            QString password = readLine(false);
            task->setPassword(password);
        },
        Qt::BlockingQueuedConnection);

    bool ended = false;
    QString failure;
    bool failed = false;
    CastControllerClient* link = nullptr;
    QSocketNotifier* input = nullptr;
    connect(
        task, &VantropeTask::castServerName, this,
        [&](const QString& name) {
            link = new CastControllerClient(name);
            connect(
                link, &CastControllerClient::castConnected, this, [this] { m_out.line(QStringLiteral("casting")); });
            connect(link, &CastControllerClient::castPaused, this, [this] { m_out.line(QStringLiteral("paused")); });
            connect(link, &CastControllerClient::castResumed, this, [this] { m_out.line(QStringLiteral("resumed")); });
            connect(link, &CastControllerClient::castDisconnected, this,
                [this] { m_out.line(QStringLiteral("disconnected")); });
            link->start();
            input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
            connect(input, &QSocketNotifier::activated, this, [&] {
                char c = 0;
                if (::read(STDIN_FILENO, &c, 1) != 1) {
                    input->setEnabled(false);
                    return;
                }
                switch (c) {
                case 'p': link->sendPause(); break;
                case 'r': link->sendResume(); break;
                case 'a': link->sendChangeAspectRatio(); break;
                case 's': link->sendStop(); break;
                default: break;
                }
            });
        },
        Qt::QueuedConnection);
    connect(
        task, &VantropeTask::onFinished, this, [&] { ended = true; }, Qt::QueuedConnection);
    connect(
        task, &VantropeTask::errMsg, this,
        [&](const QString& text) {
            failure = text;
            failed = true;
            ended = true;
        },
        Qt::QueuedConnection);
    QThreadPool::globalInstance()->start(task);
    waitFor([&] { return ended; }, std::numeric_limits<int>::max());
    QThreadPool::globalInstance()->waitForDone();
    delete task;
    delete link;
    if (!failed) {
        m_out.line(QStringLiteral("cast ended"));
        return Success;
    }
    m_out.error(failure.isEmpty() ? QStringLiteral("no cast") : failure);
    return Failure;
}
