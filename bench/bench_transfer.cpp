#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <cstdio>

#include "BenchUtil.h"
#include "FileDownloader.h"
#include "FileFinder.h"
#include "FileTransferServer.h"

// Upload and download of one large file between the client's tasks and the simulator on
// loopback, against md5sum of the same file; and a listing of a very large folder.
namespace {
long currentRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
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
    int progressSignals = 0;
    long peakRssDeltaKb = 0;
    bool ok = false;
};

// Runs the event loop until done() is true, sampling the RSS every 10 ms.
template <typename Done> long loopSamplingRss(QCoreApplication& app, Done done, long idleKb)
{
    long peak = idleKb;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        peak = qMax(peak, currentRssKb());
        if (done())
            app.quit();
    });
    sampler.start(10);
    app.exec();
    return peak - idleKb;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 size = (argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024) * 1024 * 1024 / 1024;
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
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
    {
        const long idle = currentRssKb();
        bool finished = false;
        QObject::connect(
            FileTransferServer::instance(), &FileTransferServer::uploadProgress, &app, [&](const ProgressContent& p) {
                ++up.progressSignals;
                if (p.progress == 101 || p.progress == -1) {
                    finished = true;
                    up.ok = p.progress == 101;
                }
            });
        QElapsedTimer t;
        t.start();
        FileTransferServer::instance()->uploadFile(source, server);
        up.peakRssDeltaKb = loopSamplingRss(
            app, [&] { return finished; }, idle);
        up.seconds = t.nsecsElapsed() / 1e9;
    }

    // Download.
    Run down;
    {
        const long idle = currentRssKb();
        bool finished = false;
        auto* task
            = new FileDownloader(QStringLiteral("/Quorvel/上传/source.bin"), dir.path() + "/back.bin", server, 0);
        QObject::connect(task, &FileDownloader::updateProgress, &app, [&](const ProgressContent& p) {
            ++down.progressSignals;
            if (p.progress == 101 || p.progress == -1) {
                finished = true;
                down.ok = p.progress == 101;
            }
        });
        QElapsedTimer t;
        t.start();
        QThreadPool::globalInstance()->start(task);
        down.peakRssDeltaKb = loopSamplingRss(
            app, [&] { return finished; }, idle);
        down.seconds = t.nsecsElapsed() / 1e9;
    }
    QFile::remove(dir.path() + "/back.bin");
    QFile::remove(dir.path() + "/served/Quorvel/上传/source.bin");

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
    {
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
    printf("file_bytes=%.0f md5sum_s=%.3f\n", bytes, md5s);
    printf("upload ok=%d s=%.3f MB/s=%.1f ratio_to_md5sum=%.2f progress_signals=%d peak_rss_above_idle_kb=%ld\n", up.ok,
        up.seconds, mb / up.seconds, up.seconds / md5s, up.progressSignals, up.peakRssDeltaKb);
    printf("download ok=%d s=%.3f MB/s=%.1f ratio_to_md5sum=%.2f progress_signals=%d peak_rss_above_idle_kb=%ld\n",
        down.ok, down.seconds, mb / down.seconds, down.seconds / md5s, down.progressSignals, down.peakRssDeltaKb);
    printf("listing entries=%d delivered=%d s=%.3f\n", entries, listed, listSeconds);
    return up.ok && down.ok && listed == entries ? 0 : 1;
}
