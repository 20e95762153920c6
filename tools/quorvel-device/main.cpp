#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

#include "DeviceFileStore.h"
#include "DeviceOptions.h"
#include "SimulatedDevice.h"
#include "WireLog.h"

namespace {
QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

// "offer CLIENT PATH", "offer-flood CLIENT COUNT" and "quit", one per line on standard input.
void runCommand(const QString& line, const QList<SimulatedDevice*>& devices)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty())
        return;
    if (trimmed == QLatin1String("quit")) {
        QCoreApplication::quit();
        return;
    }
    if (trimmed.startsWith(QLatin1String("offer-flood "))) {
        const QStringList words = trimmed.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QHostAddress client(words.value(1));
        const int count = words.value(2).toInt();
        if (words.size() != 3 || client.isNull() || count <= 0) {
            out() << "usage: offer-flood CLIENT_ADDRESS COUNT" << Qt::endl;
            return;
        }
        const int sent = devices.first()->offerFlood(client, count);
        out() << "flooded " << client.toString() << " with " << sent << " offers" << Qt::endl;
        return;
    }
    if (trimmed.startsWith(QLatin1String("offer "))) {
        const QString rest = trimmed.mid(6).trimmed();
        const int space = rest.indexOf(QLatin1Char(' '));
        const QHostAddress client(rest.left(space));
        const QString path = space < 0 ? QString() : rest.mid(space + 1);
        QString error;
        if (client.isNull() || path.isEmpty()) {
            out() << "usage: offer CLIENT_ADDRESS DEVICE_PATH" << Qt::endl;
        } else if (devices.first()->offer(client, path, &error)) {
            out() << "offered " << path << " to " << client.toString() << Qt::endl;
        } else {
            out() << "offer failed: " << error << Qt::endl;
        }
        return;
    }
    out() << "unknown command: " << trimmed << Qt::endl;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-device"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));

    DeviceOptions options;
    QString error;
    if (!options.parse(QCoreApplication::arguments(), &error)) {
        const QStringList args = QCoreApplication::arguments();
        const bool help = args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))
            || args.contains(QStringLiteral("--version")) || args.contains(QStringLiteral("-v"))
            || args.contains(QStringLiteral("-V"));
        fprintf(help ? stdout : stderr, "%s\n", qPrintable(error));
        return help ? 0 : 2;
    }

    QString folder = options.folder;
    if (folder.isEmpty()) {
        QTemporaryDir fresh(QDir::tempPath() + QStringLiteral("/quorvel-device-XXXXXX"));
        fresh.setAutoRemove(false); // the user may want to look at what was uploaded
        folder = fresh.path();
    }
    // A new or empty folder gets the sample files, so there is something to browse.
    if (!QDir(folder).exists() || QDir(folder).isEmpty())
        DeviceFileStore::writeSamples(folder);
    DeviceFileStore store;
    if (!store.setUp(folder, options.secureFolder, &error)) {
        fprintf(stderr, "quorvel-device: %s\n", qPrintable(error));
        return 1;
    }

    WireLog log;
    if (!options.logPath.isEmpty() && !log.open(options.logPath)) {
        fprintf(stderr, "quorvel-device: cannot write the log %s\n", qPrintable(options.logPath));
        return 1;
    }

    QList<SimulatedDevice*> devices;
    for (const QHostAddress& address : qAsConst(options.addresses)) {
        auto* device = new SimulatedDevice(address, options, store, &log, &app);
        if (!device->start(&error)) {
            fprintf(stderr, "quorvel-device: %s\n", qPrintable(error));
            return 1;
        }
        devices.append(device);
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&input, &devices] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false); // standard input closed: keep serving
            return;
        }
        static QByteArray pending;
        pending.append(buffer, int(n));
        int newline;
        while ((newline = pending.indexOf('\n')) >= 0) {
            runCommand(QString::fromUtf8(pending.left(newline)), devices);
            pending.remove(0, newline + 1);
        }
    });

    out() << "quorvel-device: " << devices.size() << " device(s) ready, first on "
          << devices.first()->address().toString() << ", serving " << store.root() << Qt::endl;
    return app.exec();
}
