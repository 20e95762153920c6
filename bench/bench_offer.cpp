#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThreadPool>
#include <cstdio>
#include <unistd.h>

#include "BenchUtil.h"
#include "app/AppContext.h"
#include "quorvel/server/OfferedFiles.h"
#include "quorvel/server/OperateListener.h"
#include "quorvel/transfer/FileDownloader.h"

// PC to PC on loopback: this client offers files and serves them, and its own downloader
// fetches them as another client would (request, stream, status queries). One large
// file against md5sum of the same file, then a batch of small files one after another.
namespace {
const QHostAddress Party(QHostAddress::LocalHost);

// CPU seconds (user + system) this process has used so far: both PCs' sides run in it.
double cpuSeconds()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
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

bool writeFile(const QString& path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char(i % 251);
    for (qint64 left = size; left > 0; left -= block.size()) {
        if (f.write(block.constData(), qMin<qint64>(left, block.size())) < 0)
            return false;
    }
    return true;
}

// Fetches the offered file into the folder; whether it was confirmed.
bool fetch(QThreadPool& pool, const QString& offered, const QString& into)
{
    ServerContent peer;
    peer.address = Party;
    auto* task = new FileDownloader(offered, into + QStringLiteral("/") + QFileInfo(offered).fileName(), peer, 0);
    bool ok = false;
    QObject::connect(task, &Task::ended, [&ok](const TaskOutcome& o) { ok = o.ok; });
    pool.start(task);
    pool.waitForDone();
    return ok;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const qint64 mib = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1024;
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 1000;
    QTemporaryDir dir;
    AppContext context(dir.path());
    OperateListener& listener = *context.requests();
    bool listening = false;
    QObject::connect(&listener, &OperateListener::listening, [&listening] { listening = true; });
    listener.start();
    if (!waitFor([&listening] { return listening; }, 5000)) {
        fprintf(stderr, "UDP 16021 is taken\n");
        return 1;
    }
    QThreadPool pool;
    pool.setMaxThreadCount(1); // downloads run one after another, as the client's do

    const QString big = dir.filePath(QStringLiteral("big.bin"));
    const QString in = dir.filePath(QStringLiteral("in"));
    QDir().mkpath(in);
    if (mib > 0) {
        if (!writeFile(big, mib << 20))
            return 1;
        ::sync(); // written back now, not by the kernel's flusher during the fetch
        md5sumSeconds(big); // into the page cache, as the transfer finds it
        const double md5s = md5sumSeconds(big);
        context.offeredFiles()->addOfferedFile(Party, big);
        QElapsedTimer t;
        const double cpuBefore = cpuSeconds();
        t.start();
        const bool ok = fetch(pool, big, in);
        const double s = t.nsecsElapsed() / 1e9;
        printf(
            "offer_large MiB=%lld ok=%d s=%.3f md5sum_s=%.3f ratio_to_md5sum=%.2f cpu_s=%.2f (serving and fetching)\n",
            mib, ok, s, md5s, s / md5s, cpuSeconds() - cpuBefore);
        QFile::remove(big);
        QFile::remove(in + QStringLiteral("/big.bin"));
    }
    if (count > 0) {
        const QString small = dir.filePath(QStringLiteral("small"));
        QDir().mkpath(small);
        QStringList files;
        for (int i = 0; i < count; ++i) {
            files.append(QStringLiteral("%1/f%2.bin").arg(small).arg(i));
            if (!writeFile(files.last(), 10 * 1024))
                return 1;
            context.offeredFiles()->addOfferedFile(Party, files.last());
        }
        QElapsedTimer t;
        t.start();
        int confirmed = 0;
        for (const QString& f : qAsConst(files))
            confirmed += fetch(pool, f, in);
        const double s = t.nsecsElapsed() / 1e9;
        printf("offer_small files=%d confirmed=%d s=%.3f files_per_s=%.1f ms_per_file=%.2f\n", count, confirmed, s,
            count / s, s * 1000 / count);
    }
    return 0;
}
