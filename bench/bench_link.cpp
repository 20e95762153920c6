#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QThreadPool>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "BenchUtil.h"
#include "app/AppContext.h"
#include "quorvel/server/FileDistribution.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/transfer/FileDownloader.h"
#include "quorvel/transfer/FileTransferServer.h"
#include "utils/Md5.h"

// Transfers over a shaped link: the simulator on a second host behind a veth pair whose
// two ends are token buckets (tc tbf) at each rate, the client's upload and download of a
// file that takes about 10 s there, and the same file offered to another PC on the far
// host and fetched by it, each against a plain TCP copy of the same file over the same
// link in the same run; and 1,000 small files in one batch, uploaded and offered,
// against a tar of them through the plain copy. Run inside a namespace of its own
// (scripts/bench.sh).
namespace {
const QString Here = QStringLiteral("198.51.101.1");
const QString There = QStringLiteral("198.51.101.2");
// The other PC on the far host has an address of its own: the device holds the
// protocol's UDP ports on There. Its traffic leaves from it too, since an offer is
// served to the address it was offered to and to nobody else.
const QString OtherPcAddress = QStringLiteral("198.51.101.3");
// What the protocol itself waits: 500 ms before the first status query.
constexpr double ProtocolWaitS = 0.5;
constexpr double Slack = 1.05;
constexpr double ManyFilesTargetS = 10;

QString g_ns;
QString g_bin;

bool sh(const QString& command)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("sh"), {"-c", command});
    p.waitForFinished(60000);
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    // On standard output: the benchmark script shows only that.
    printf("failed: %s: %s\n", qPrintable(command), p.readAll().constData());
    return false;
}

QStringList there(const QString& program)
{
    return {"ip", "netns", "exec", g_ns, program};
}

void makeFile(const QString& path, qint64 size)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size; written += block.size()) {
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
        f.write(block.constData(), qMin<qint64>(block.size(), size - written));
    }
}

// Starts a receiving bench_tcpcopy (or a command around one) and waits until it listens.
bool startReceiver(QProcess& receiver, const QStringList& command)
{
    receiver.setReadChannel(QProcess::StandardError);
    return startUntil(receiver, command, "listening");
}

// The plain copy's wall time: from connecting until the receiver read everything.
double plainCopy(bool upload, const QString& from, const QString& to)
{
    QProcess receiver;
    if (!startReceiver(receiver,
            (upload ? there(g_bin + "/bench_tcpcopy") : QStringList{g_bin + "/bench_tcpcopy"})
                + QStringList{"recv", "5001", to}))
        return -1;
    const QStringList command = (upload ? QStringList{g_bin + "/bench_tcpcopy"} : there(g_bin + "/bench_tcpcopy"))
        + QStringList{"send", upload ? There : Here, "5001", from};
    QProcess sender;
    sender.start(command.first(), command.mid(1));
    sender.waitForFinished(-1);
    receiver.waitForFinished(30000);
    const QByteArray out = sender.readAllStandardOutput();
    const int at = out.indexOf("seconds=");
    return at < 0 ? -1 : out.mid(at + 8).split(' ').first().toDouble();
}

struct Transfer {
    bool ok = false;
    int done = 0;
    double seconds = 0;
    double lastByteSeconds = 0; // until the 100 % report: the rest is delivery and confirmation
};

Transfer upload(
    QCoreApplication& app, FileTransferServer& uploads, const QStringList& files, const ServerContent& server)
{
    Transfer r;
    int ended = 0;
    QElapsedTimer t;
    const QMetaObject::Connection c
        = QObject::connect(&uploads, &FileTransferServer::uploadProgress, &app, [&](const ProgressContent& p) {
              if (p.progress == 100)
                  r.lastByteSeconds = t.nsecsElapsed() / 1e9;
              if (p.isFinal()) {
                  ++ended;
                  r.done += p.progress == ProgressContent::Done;
              }
          });
    t.start();
    for (const QString& file : files)
        uploads.uploadFile(file, server, false);
    waitFor([&] { return ended == files.size(); }, 600000);
    r.seconds = t.nsecsElapsed() / 1e9;
    r.ok = r.done == files.size();
    QObject::disconnect(c);
    return r;
}

Transfer download(QCoreApplication& app, const QString& remote, const QString& local, const ServerContent& server)
{
    Transfer r;
    bool ended = false;
    QElapsedTimer t;
    auto* task = new FileDownloader(remote, local, server, 0);
    QObject::connect(task, &FileDownloader::updateProgress, &app, [&](const ProgressContent& p) {
        if (p.progress == 100)
            r.lastByteSeconds = t.nsecsElapsed() / 1e9;
        if (p.isFinal()) {
            ended = true;
            r.ok = p.progress == ProgressContent::Done;
        }
    });
    t.start();
    QThreadPool::globalInstance()->start(task);
    waitFor([&] { return ended; }, 600000);
    r.seconds = t.nsecsElapsed() / 1e9;
    r.done = r.ok;
    return r;
}

// The other PC: the command-line client on the far host, from a folder of its own (its
// settings; what it fetches goes to its Download folder), taking every offered file. It
// says how each fetch ended on standard output, one JSON object a line.
class OtherPc {
public:
    bool start(const QString& folder)
    {
        m_downloads = folder + "/Download";
        if (!QDir().mkpath(folder) || !QFile::copy(g_bin + "/quorvelctl", folder + "/quorvelctl"))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // No system bus: its announcement on mDNS goes nowhere, whatever runs on this machine.
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + folder + "/no-bus");
        m_process.setProcessEnvironment(env);
        if (!startUntil(
                m_process, there(folder + "/quorvelctl") + QStringList{"--json", "serve", "--accept"}, "\"serving\""))
            return false;
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { read(); });
        return true;
    }
    void stop()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }
    int confirmed() const { return m_confirmed; }
    int ended() const { return m_confirmed + m_failed; }
    // Empties its Download folder: a name fetched again would be resumed or renamed.
    void clear() const { QDir(m_downloads).removeRecursively(); }

private:
    void read()
    {
        m_pending += m_process.readAllStandardOutput();
        for (int end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(m_pending.left(end)).object();
            m_pending.remove(0, end + 1);
            const QString event = o.value("event").toString();
            if (event == "result")
                ++(o.value("ok").toBool() ? m_confirmed : m_failed);
            else if (event == "error" || event == "declined")
                ++m_failed;
        }
    }

    QProcess m_process;
    QByteArray m_pending;
    QString m_downloads;
    int m_confirmed = 0;
    int m_failed = 0;
};

// Offers the files to the other PC in one batch, as `quorvelctl offer` does, and serves
// them until the other PC has said how each fetch ended (or the time is up). Confirmed
// when the other PC says so and this side answered its status query with a yes.
Transfer offer(OperateListener& requests, const QStringList& files, OtherPc& other, int timeoutMs)
{
    Transfer r;
    int answeredYes = 0;
    QElapsedTimer t;
    QObject scope; // ends the connections before what they capture
    QObject::connect(&requests, &OperateListener::servingProgress, &scope, [&](const ProgressContent& p) {
        if (p.progress == 100)
            r.lastByteSeconds = t.nsecsElapsed() / 1e9;
    });
    QObject::connect(
        &requests, &OperateListener::resultQueried, &scope, [&answeredYes](uint, bool ok) { answeredYes += ok; });
    const int confirmedBefore = other.confirmed();
    const int endedBefore = other.ended();
    ServerContent party;
    party.address = QHostAddress(OtherPcAddress);
    t.start();
    for (const QString& file : files) {
        FileDistribution task(file, party, "Bench PC", requests.offers());
        task.setAutoDelete(false);
        task.run();
    }
    waitFor([&] { return other.ended() - endedBefore >= files.size() || !other.running(); }, timeoutMs);
    r.seconds = t.nsecsElapsed() / 1e9;
    r.done = other.confirmed() - confirmedBefore;
    // This side's answer and the other PC's line cross on the way.
    waitFor([&] { return answeredYes >= r.done; }, 2000);
    r.ok = r.done == files.size() && answeredYes >= files.size();
    return r;
}

// One transfer against the plain copy; whether it met the target.
bool report(const QString& link, const char* what, const Transfer& r, double plain)
{
    const double target = Slack * plain + ProtocolWaitS;
    const bool met = r.ok && r.seconds <= target;
    printf("link=%s %s ok=%d s=%.3f plain_copy_s=%.3f ratio=%.3f target_s=%.3f met=%s last_byte_left_s=%.3f "
           "confirmed_after_s=%.3f\n",
        qPrintable(link), what, r.ok, r.seconds, plain, r.seconds / plain, target, met ? "yes" : "NO",
        r.lastByteSeconds, r.seconds - r.lastByteSeconds);
    fflush(stdout);
    return met;
}

// One batch of small files against the tar of them through the plain copy; whether it
// met the target.
bool reportMany(const QString& link, const char* what, const Transfer& r, int count, double tarSeconds)
{
    const bool met = r.ok && r.seconds < ManyFilesTargetS;
    printf("link=%s many_files=%d bytes_each=10240 %s ok=%d/%d s=%.3f files_per_s=%.0f ms_per_file=%.2f "
           "target_s=%.0f met=%s tar_plain_copy_s=%.3f ratio=%.1f\n",
        qPrintable(link), count, what, r.done, count, r.seconds, count / r.seconds, r.seconds * 1000 / count,
        ManyFilesTargetS, met ? "yes" : "NO", tarSeconds, r.seconds / tarSeconds);
    fflush(stdout);
    return met;
}
} // namespace

// bench_link [SCALE [MBIT,...]]: SCALE shrinks every file (default 1: about 10 s each).
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0); // each line as it comes, whatever ends the run
    const double scale = argc > 1 ? QByteArray(argv[1]).toDouble() : 1.0;
    const QByteArrayList rates = (argc > 2 ? QByteArray(argv[2]) : QByteArray("1000,300,4")).split(',');
    g_bin = QCoreApplication::applicationDirPath();
    g_ns = QStringLiteral("qvlink%1").arg(QCoreApplication::applicationPid());
    QTemporaryDir dir(QDir::tempPath() + "/bench_link-XXXXXX");
    QDir::setCurrent(dir.path());
    AppContext context(dir.path());

    for (const Md5::Trial& t : Md5::trials())
        printf("md5_engine=%s MB/s=%.0f\n", qPrintable(Md5::nameOf(t.engine)), t.megabytesPerSecond);
    printf("md5_engine_chosen=%s\n", qPrintable(Md5::nameOf(Md5::chosenEngine())));

    if (!sh("ip netns add " + g_ns) || !sh("ip netns exec " + g_ns + " ip link set lo up")
        || !sh("ip link add ql0 type veth peer name ql1 netns " + g_ns) || !sh("ip addr add " + Here + "/24 dev ql0")
        || !sh("ip link set ql0 up") || !sh("ip -n " + g_ns + " addr add " + There + "/24 dev ql1")
        || !sh("ip -n " + g_ns + " link set ql1 up")
        || !sh("ip -n " + g_ns + " addr add " + OtherPcAddress + "/24 dev ql1")
        || !sh("ip -n " + g_ns + " route replace 198.51.101.0/24 dev ql1 src " + OtherPcAddress))
        return 1;
    const auto cleanup = qScopeGuard([] {
        sh("ip link del ql0 2>/dev/null; true");
        QProcess pids;
        pids.start(QStringLiteral("ip"), {"netns", "pids", g_ns});
        pids.waitForFinished(5000);
        for (const QByteArray& pid : pids.readAllStandardOutput().split('\n')) {
            if (!pid.trimmed().isEmpty())
                ::kill(pid.trimmed().toInt(), SIGTERM);
        }
        sh("ip netns del " + g_ns);
    });

    const QString served = dir.path() + "/served";
    QProcess device;
    if (!startUntil(device,
            there(g_bin + "/quorvel-device") + QStringList{"--address", There, "--no-mdns", "--folder", served},
            "ready")) {
        printf("failed: the device simulator did not start\n");
        return 1;
    }
    // This client takes the other PC's fetches and status queries; the other PC takes offers.
    OperateListener& requests = *context.requests();
    bool listening = false;
    QObject::connect(&requests, &OperateListener::listening, [&listening] { listening = true; });
    requests.start();
    OtherPc other;
    if (!waitFor([&listening] { return listening; }, 5000) || !other.start(dir.path() + "/other-pc")) {
        printf("failed: UDP %d is taken here, or the other PC's client did not start\n", OperateListener::Port);
        return 1;
    }
    ServerContent server;
    server.address = QHostAddress(There);
    server.uuid = "bench";
    const QString upFolder = served + QString::fromUtf8("/Quorvel/上传/");
    bool allMet = true;

    for (const QByteArray& rate : rates) {
        const int mbit = rate.toInt();
        const QString link = QStringLiteral("%1mbit").arg(mbit);
        // Each end's egress is a token bucket: the link is as slow both ways. The bucket
        // holds a few milliseconds' worth, at least some full-sized frames.
        const QString bucket
            = QStringLiteral("tbf rate %1mbit burst %2 latency 50ms").arg(mbit).arg(qMax(32768, mbit * 1000 / 8 * 4));
        if (!sh("tc qdisc replace dev ql0 root " + bucket)
            || !sh("ip netns exec " + g_ns + " tc qdisc replace dev ql1 root " + bucket))
            return 1;
        if (rate == rates.first()) {
            // Many small files over the first (fastest) link, first: the big files' writeback
            // would keep the disk busy under them.
            const int count = 1000;
            QDir().mkpath(dir.path() + "/many");
            QStringList files;
            for (int i = 0; i < count; ++i) {
                files << dir.path() + QStringLiteral("/many/note-%1.bin").arg(i, 4, 10, QLatin1Char('0'));
                makeFile(files.last(), 10240);
            }
            ::sync();
            QProcess receiver;
            QDir().mkpath(served + "/untar");
            QElapsedTimer t;
            double tarSeconds = -1;
            if (startReceiver(receiver,
                    there(QStringLiteral("sh"))
                        + QStringList{
                            "-c", g_bin + "/bench_tcpcopy recv 5002 - | tar -C " + served + "/untar -xf -"})) {
                t.start();
                if (sh("tar -C " + dir.path() + "/many -cf - . | " + g_bin + "/bench_tcpcopy send " + There + " 5002 -")
                    && receiver.waitForFinished(60000))
                    tarSeconds = t.nsecsElapsed() / 1e9;
            }
            const bool uploaded
                = reportMany(link, "upload", upload(app, *context.uploads(), files, server), count, tarSeconds);
            const bool offered = reportMany(link, "pc_to_pc", offer(requests, files, other, 120000), count, tarSeconds);
            other.clear();
            allMet = allMet && uploaded && offered;
        }
        const qint64 size = qint64(mbit * 1e6 / 8 * 10 * scale);
        const QString source = dir.path() + "/source.bin";
        makeFile(source, size);
        printf("link=%s file_bytes=%lld\n", qPrintable(link), size);

        // The offer goes the upload's way over the link: the same plain copy is its anchor.
        const double plainUp = plainCopy(true, source, served + "/plain.bin");
        const bool upMet = report(link, "upload", upload(app, *context.uploads(), {source}, server), plainUp);
        const QString uploaded = upFolder + "source.bin";
        const double plainDown = plainCopy(false, uploaded, dir.path() + "/plain-back.bin");
        const bool downMet = report(link, "download",
            download(app, QString::fromUtf8("/Quorvel/上传/source.bin"), dir.path() + "/back.bin", server), plainDown);
        const bool offerMet = report(link, "pc_to_pc", offer(requests, {source}, other, 600000), plainUp);
        other.clear();
        allMet = allMet && upMet && downMet && offerMet;
        for (const QString& f :
            {source, uploaded, served + "/plain.bin", dir.path() + "/plain-back.bin", dir.path() + "/back.bin"})
            QFile::remove(f);
    }
    other.stop();
    device.terminate();
    device.waitForFinished(3000);
    printf("all_targets_met=%s\n", allMet ? "yes" : "NO");
    return allMet ? 0 : 1;
}
