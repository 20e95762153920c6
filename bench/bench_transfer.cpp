#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

#include "BenchUtil.h"
#include "app/AppContext.h"
#include "quorvel/browse/FileFinder.h"
#include "quorvel/transfer/FileDownloader.h"
#include "quorvel/transfer/FileTransferServer.h"
#include "utils/Md5.h"

// Upload and download of one large file between the client's tasks and the simulator on
// loopback, against md5sum of the same file; and a listing of a very large folder.
namespace {

// CPU seconds (user + system) a process has used so far.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // Fields after the command name, which may hold spaces: utime and stime are 14 and 15.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(::sysconf(_SC_CLK_TCK));
}

double md5sumSeconds(const QString& path)
{
    QElapsedTimer t;
    t.start();
    QProcess::execute(QStringLiteral("md5sum"), {path});
    return t.nsecsElapsed() / 1e9;
}

struct Run {
    double seconds = 0;
    double bytesMovedSeconds = 0; // until the 100 % report: the rest is the confirmation
    bool ran = false;
    int progressSignals = 0;
    long peakRssDeltaKb = 0;
    double clientCpuSeconds = 0;
    double deviceCpuSeconds = 0;
    bool ok = false;
};

// Measures the CPU both processes use while it lives.
struct CpuMeter {
    CpuMeter(Run& run, qint64 devicePid)
        : run(run)
        , devicePid(devicePid)
        , client(cpuSeconds(QCoreApplication::applicationPid()))
        , device(cpuSeconds(devicePid))
    {
    }
    ~CpuMeter()
    {
        run.clientCpuSeconds = cpuSeconds(QCoreApplication::applicationPid()) - client;
        run.deviceCpuSeconds = cpuSeconds(devicePid) - device;
    }
    Run& run;
    qint64 devicePid;
    double client;
    double device;
};

// Runs the event loop until done() is true, sampling the RSS every 10 ms.
template <typename Done> long loopSamplingRss(QCoreApplication& app, Done done, long idleKb)
{
    long peak = idleKb;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        peak = qMax(peak, statusKb("VmRSS"));
        if (done())
            app.quit();
    });
    sampler.start(10);
    app.exec();
    return peak - idleKb;
}
} // namespace

// bench_transfer [MiB [up,down,list]]
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024) * 1024 * 1024 / 1024;
    const QByteArrayList phases = (argc > 2 ? QByteArray(argv[2]) : QByteArray("up,down,list")).split(',');
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    AppContext context(dir.path());
    const QString source = dir.path() + "/source.bin";
    {
        QFile f(source);
        f.open(QIODevice::WriteOnly);
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (qint64 written = 0; written < size * 1024; written += block.size()) {
            QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
            f.write(block);
        }
    }
    const double bytes = double(QFileInfo(source).size());
    // Written back now, not by the kernel's flusher in the middle of a measured transfer.
    ::sync();
    md5sumSeconds(source); // warm the page cache
    const double md5s = md5sumSeconds(source);

    QProcess device;
    if (!startDevice(device, {"--address", "127.0.0.2", "--no-mdns", "--folder", dir.path() + "/served"})) {
        fprintf(stderr, "the device simulator did not start\n");
        return 1;
    }
    ServerContent server;
    server.address = QHostAddress("127.0.0.2");
    server.uuid = "bench";

    // Upload.
    Run up;
    if (phases.contains("up")) {
        up.ran = true;
        CpuMeter cpu(up, device.processId());
        const long idle = statusKb("VmRSS");
        bool finished = false;
        QElapsedTimer t;
        QObject::connect(context.uploads(), &FileTransferServer::uploadProgress, &app, [&](const ProgressContent& p) {
            ++up.progressSignals;
            if (p.progress == 100)
                up.bytesMovedSeconds = t.nsecsElapsed() / 1e9;
            if (p.isFinal()) {
                finished = true;
                up.ok = p.progress == ProgressContent::Done;
            }
        });
        t.start();
        context.uploads()->uploadFile(source, server, false);
        up.peakRssDeltaKb = loopSamplingRss(
            app, [&] { return finished; }, idle);
        up.seconds = t.nsecsElapsed() / 1e9;
    }

    // Download: of the uploaded file, or of a copy put in place when the upload did not run.
    const QString served = dir.path() + QString::fromUtf8("/served/Quorvel/上传/source.bin");
    Run down;
    if (phases.contains("down")) {
        down.ran = true;
        if (!QFileInfo::exists(served)) {
            QDir().mkpath(QFileInfo(served).path());
            QFile::copy(source, served);
        }
        ::sync(); // the upload's last writes are not the download's to wait for
        // From the page cache, as md5sum read its file: the transfer is measured, not the disk.
        md5sumSeconds(served);
        CpuMeter cpu(down, device.processId());
        const long idle = statusKb("VmRSS");
        bool finished = false;
        QElapsedTimer t;
        auto* task
            = new FileDownloader(QStringLiteral("/Quorvel/上传/source.bin"), dir.path() + "/back.bin", server, 0);
        QObject::connect(task, &FileDownloader::updateProgress, &app, [&](const ProgressContent& p) {
            ++down.progressSignals;
            if (p.progress == 100)
                down.bytesMovedSeconds = t.nsecsElapsed() / 1e9;
            if (p.isFinal()) {
                finished = true;
                down.ok = p.progress == ProgressContent::Done;
            }
        });
        t.start();
        QThreadPool::globalInstance()->start(task);
        down.peakRssDeltaKb = loopSamplingRss(
            app, [&] { return finished; }, idle);
        down.seconds = t.nsecsElapsed() / 1e9;
    }
    QFile::remove(dir.path() + "/back.bin");
    QFile::remove(served);

    // Listing of 20,000 entries.
    const int entries = 20000;
    QDir listing(dir.path() + "/served/Whiteboard/many");
    listing.mkpath(".");
    for (int i = 0; i < entries; ++i) {
        QFile f(listing.filePath(QStringLiteral("note-%1.txt").arg(i, 5, 10, QLatin1Char('0'))));
        f.open(QIODevice::WriteOnly);
    }
    double listSeconds = 0;
    int listed = -1;
    if (phases.contains("list")) {
        auto* finder = new FileFinder(QStringLiteral("/Whiteboard/many"), QStringLiteral("file_name_increase"), server);
        QObject::connect(finder, &FileFinder::findFileEnd, &app, [&](const QList<FileContent>& l) {
            listed = l.size();
            app.quit();
        });
        QElapsedTimer t;
        t.start();
        QThreadPool::globalInstance()->start(finder);
        QTimer::singleShot(30000, &app, &QCoreApplication::quit);
        app.exec();
        listSeconds = t.nsecsElapsed() / 1e9;
    }
    device.terminate();
    device.waitForFinished(3000);

    const double mb = bytes / 1e6;
    // Which digest both sides ran: the figures depend on it.
    printf("file_bytes=%.0f md5sum_s=%.3f md5_engine=%s\n", bytes, md5s, qPrintable(Md5::nameOf(Md5::chosenEngine())));
    const auto report = [&](const char* name, const Run& r) {
        if (!r.ran)
            return;
        printf("%s ok=%d s=%.3f MB/s=%.1f ratio_to_md5sum=%.2f bytes_moved_s=%.3f confirmed_after_s=%.3f "
               "progress_signals=%d peak_rss_above_idle_kb=%ld client_cpu_s=%.2f device_cpu_s=%.2f\n",
            name, r.ok, r.seconds, mb / r.seconds, r.seconds / md5s, r.bytesMovedSeconds,
            r.seconds - r.bytesMovedSeconds, r.progressSignals, r.peakRssDeltaKb, r.clientCpuSeconds,
            r.deviceCpuSeconds);
    };
    report("upload", up);
    report("download", down);
    if (phases.contains("list"))
        printf("listing entries=%d delivered=%d s=%.3f\n", entries, listed, listSeconds);
    return (!up.ran || up.ok) && (!down.ran || down.ok) && (!phases.contains("list") || listed == entries) ? 0 : 1;
}
