#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cstdio>
#include <memory>

#include "BenchUtil.h"
#include "app/AppContext.h"
#include "quorvel/discovery/DiscoveryServer.h"
#include "quorvel/protocol/ManualTarget.h"
#include "quorvel/services/TransferQueue.h"

// sweep:  one pass over a hand-added /22 on loopback (127.0.4.0/22, a few simulated
//         devices in it): datagrams sent, the time the paced sending took, the whole
//         pass with the reply wait, and the devices that answered.
// upload MiB N: one file sent to N simulated devices at once, against the same file
//         sent to them one after another (each device a process of its own).
namespace {
struct Counter : QueryResultReceiver {
    std::atomic_int found{0};
    void onQueryServerResult(const ServerContent&, bool ok, bool isBroadcast) override
    {
        if (ok && !isBroadcast)
            ++found;
    }
};

int sweep()
{
    const ManualTarget range = ManualTarget::parse(QStringLiteral("127.0.4.0/22"), 16020);
    QProcess devices;
    QTemporaryDir dir;
    AppContext context(dir.path()); // the query names this client
    QStringList args{"--no-mdns", "--folder", dir.path() + "/served"};
    for (const char* at : {"127.0.4.9", "127.0.5.200", "127.0.7.254"})
        args << "--address" << at;
    if (!startDevice(devices, args)) {
        fprintf(stderr, "the device simulator did not start\n");
        return 1;
    }
    Counter counter;
    DiscoveryServer::AddressSweep pass(&counter, range.rangeAddresses(), 16020, QStringLiteral("Bench PC"));
    QElapsedTimer clock;
    clock.start();
    pass.run();
    printf("sweep range=%s addresses=%d datagrams=%d sending_s=%.3f pass_s=%.3f answered=%d of 3\n",
        qPrintable(range.text()), range.rangeAddresses().size(), pass.sent(), pass.sendingMs() / 1000.0,
        clock.elapsed() / 1000.0, counter.found.load());
    devices.terminate();
    devices.waitForFinished(3000);
    return counter.found == 3 ? 0 : 1;
}

int upload(qint64 mib, int count)
{
    QTemporaryDir dir;
    AppContext context(dir.path());
    const QString source = dir.filePath(QStringLiteral("slides.bin"));
    {
        QFile f(source);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        QByteArray block(1 << 20, Qt::Uninitialized);
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 31 % 251);
        for (qint64 i = 0; i < mib; ++i)
            f.write(block);
    }
    QProcess::execute(QStringLiteral("cat"), {source, QStringLiteral("-o"), QStringLiteral("/dev/null")});
    std::vector<std::unique_ptr<QProcess>> devices;
    QList<ServerContent> targets;
    for (int i = 0; i < count; ++i) {
        const QString address = QStringLiteral("127.0.9.%1").arg(10 + i);
        devices.push_back(std::make_unique<QProcess>());
        const QString folder = dir.filePath(QStringLiteral("device%1").arg(i));
        if (!startDevice(*devices.back(), {"--address", address, "--no-mdns", "--folder", folder})) {
            fprintf(stderr, "the device simulator did not start\n");
            return 1;
        }
        ServerContent s;
        s.address = QHostAddress(address);
        s.port = 16020;
        s.uuid = QStringLiteral("bench-room-%1").arg(i);
        targets.append(s);
    }
    TransferQueue& queue = *context.transfers();
    const auto run = [&](bool together) {
        int ended = 0, failed = 0;
        QObject anchor;
        QObject::connect(
            &queue, &TransferQueue::transferEnded, &anchor, [&](const ProgressContent&, const TaskOutcome& o) {
                ++ended;
                failed += o.ok ? 0 : 1;
            });
        QElapsedTimer clock;
        clock.start();
        if (together) {
            for (const ServerContent& s : qAsConst(targets))
                queue.upload({source}, s, false);
            waitFor([&] { return ended == count; }, 600000);
        } else {
            for (int i = 0; i < count; ++i) {
                queue.upload({source}, targets.at(i), false);
                waitFor([&] { return ended == i + 1; }, 600000);
            }
        }
        const double s = clock.elapsed() / 1000.0;
        printf("upload %s devices=%d MiB=%lld s=%.3f failed=%d\n", together ? "at_once" : "one_after_another", count,
            mib, s, failed);
        return s;
    };
    const double after = run(false);
    const double together = run(true);
    printf("upload speedup_at_once=%.2f\n", after / together);
    for (auto& d : devices) {
        d->terminate();
        d->waitForFinished(3000);
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QStringLiteral("sweep");
    if (mode == QLatin1String("upload"))
        return upload(argc > 2 ? atoll(argv[2]) : 100, argc > 3 ? atoi(argv[3]) : 5);
    return sweep();
}
