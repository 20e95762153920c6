#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "BenchUtil.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/storage/QuorvelClientDatabase.h"

// latency: time from startDiscovery() to the serverDiscoveried of a device that answers
//          the broadcast (one measurement per process: the table starts empty).
// many N:  N devices on loopback addresses, found through the hand-added list: time until
//          all are listed, the longest stall of the main thread, and peak RSS.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("latency");
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    AppContext context(dir.path());

    QProcess device;
    QStringList deviceArgs{"--no-mdns", "--folder", dir.path() + "/served"};
    int expected = 1;
    if (mode == QLatin1String("many")) {
        expected = argc > 2 ? atoi(argv[2]) : 200;
        for (int i = 0; i < expected; ++i) {
            const QString address = loopbackDevice(i);
            deviceArgs << "--address" << address;
            ServerContent manual;
            manual.address = QHostAddress(address);
            manual.port = 16020;
            context.database()->addManualDevice(manual);
        }
    }
    if (!startDevice(device, deviceArgs)) {
        fprintf(stderr, "the device simulator did not start\n");
        return 1;
    }
    const long idleRss = peakRssKb();

    DiscoveryServer* server = context.discovery();
    QElapsedTimer clock;
    StallMeter stalls;
    int found = 0;
    double firstMs = -1;
    QObject::connect(
        server, &DiscoveryServer::serverDiscoveried, &app,
        [&](const ServerContent&) {
            if (firstMs < 0)
                firstMs = clock.nsecsElapsed() / 1e6;
            if (++found >= expected)
                app.quit();
        },
        Qt::QueuedConnection);
    QTimer::singleShot(10000, &app, &QCoreApplication::quit);
    QTimer::singleShot(0, &app, [&] {
        stalls.start();
        clock.start();
        server->startDiscovery();
    });
    app.exec();
    const double allMs = clock.nsecsElapsed() / 1e6;
    device.terminate();
    device.waitForFinished(3000);

    if (mode == QLatin1String("many")) {
        printf("many devices=%d found=%d all_listed_ms=%.1f main_thread_longest_stall_ms=%.1f peak_rss_kb=%ld "
               "rss_before_pass_kb=%ld\n",
            expected, found, allMs, stalls.longestMs(), peakRssKb(), idleRss);
    } else {
        printf("latency_ms=%.2f\n", firstMs);
    }
    return found >= expected ? 0 : 1;
}
