#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <poll.h>
#include <signal.h>
#include <thread>

#include "BenchUtil.h"
#include "app/AppContext.h"
#include "app/WindowServicesOf.h"
#include "quorvel/services/DeviceActions.h"
#include "quorvel/services/TransferQueue.h"
#include "quorvel/storage/QuorvelClientDatabase.h"
#include "quorvel/transfer/UploadSelection.h"
#include "ui/browser/FileListDialog.h"
#include "ui/common/GuiUserInteraction.h"
#include "ui/common/StyleSheet.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/mainwindow/ServerContentWidget.h"

// Xlib last: its macros (None, Bool, Status...) would spoil the Qt headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// The main window, measured the way a user meets it:
// startup N: the launcher of a fresh application folder, from its start to its main window
//            mapped and viewable on the X server (seen through Xlib, not the client's
//            word), N times; the client's resident memory 2 s after that.
// window N:  the window in this process: the longest stall of its thread while N devices
//            on loopback addresses come into the device list (added by hand once the window
//            is on screen, then the refresh button), then while a 1 GiB upload to one of
//            them, dropped on the device card, reports progress to its end.
// window-preadded N: the same, the devices in the list before the window starts: they
//            arrive while it shows for the first time, which that figure includes.
// moments:   what could hold the window up: a folder of 10,000 files dropped on the device
//            card (walked and refused) and one of 1,000 (sent, until every transfer has
//            ended); the browser's tab closed while its listing waits on a device that
//            never answers; the device shown going away; the window quit while the silent
//            device still keeps a listing and a welcome text waiting.
// all:       startup 10, window 200, then moments.
namespace {
const char* const WindowTitle = "Quorvel客户端";

// What the window's thread handles while it is measured: each event it dispatches, by
// kind and receiver class, with the time spent, and the slowest single dispatches. It
// tells a stall made of one long call from one made of many short ones in a row.
class CensusApp : public QApplication {
public:
    using QApplication::QApplication;
    void startCensus()
    {
        m_buckets.clear();
        m_slowest.clear();
        m_timeline.clear();
        m_on = true;
    }
    void stopCensus() { m_on = false; }
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (!m_on || QThread::currentThread() != thread() || m_depth > 0)
            return QApplication::notify(receiver, event);
        ++m_depth;
        const qint64 from = monotonicNs();
        const int type = event->type();
        QByteArray what = QByteArray::number(type) + ' ' + receiver->metaObject()->className();
        if (type == QEvent::MetaCall)
            what += " (queued call)";
        else if (auto* timer = qobject_cast<QTimer*>(receiver)) {
            what += " every " + QByteArray::number(timer->interval()) + " ms";
            if (timer->parent())
                what += QByteArray(" of ") + timer->parent()->metaObject()->className();
        }
        const bool result = QApplication::notify(receiver, event);
        const qint64 ns = monotonicNs() - from;
        --m_depth;
        if (ns > 1000000)
            m_timeline.append({from, ns, what});
        auto& b = m_buckets[what];
        b.first += 1;
        b.second += ns;
        m_slowest.append({ns, what});
        std::sort(m_slowest.begin(), m_slowest.end(), [](auto& a, auto& c) { return a.first > c.first; });
        if (m_slowest.size() > 5)
            m_slowest.removeLast();
        return result;
    }
    void print(const char* label) const
    {
        QList<QPair<qint64, QByteArray>> byTime;
        for (auto it = m_buckets.begin(); it != m_buckets.end(); ++it)
            byTime.append({it->second, it.key() + " x" + QByteArray::number(it->first)});
        std::sort(byTime.begin(), byTime.end(), [](auto& a, auto& c) { return a.first > c.first; });
        printf("%s census (event type, receiver, count, total ms):", label);
        for (int i = 0; i < std::min<int>(8, byTime.size()); ++i)
            printf(" [%s %.1f]", byTime[i].second.constData(), byTime[i].first / 1e6);
        printf("\n%s slowest dispatches ms:", label);
        for (const auto& s : m_slowest)
            printf(" [%s %.1f]", s.second.constData(), s.first / 1e6);
        printf("\n");
    }
    // The dispatches over a millisecond between two moments, with their offsets from the first.
    void printBetween(const char* label, qint64 fromNs, qint64 toNs) const
    {
        printf("%s longest stall (%.1f ms), dispatches over 1 ms at ms:", label, (toNs - fromNs) / 1e6);
        for (const auto& [at, ns, what] : m_timeline) {
            if (at + ns >= fromNs && at <= toNs)
                printf(" [%.1f %s %.1f]", (at - fromNs) / 1e6, what.constData(), ns / 1e6);
        }
        printf("\n");
    }

private:
    struct Dispatch {
        qint64 at;
        qint64 ns;
        QByteArray what;
    };
    QVector<Dispatch> m_timeline;
    bool m_on = false;
    int m_depth = 0;
    QHash<QByteArray, QPair<qint64, qint64>> m_buckets;
    QList<QPair<qint64, QByteArray>> m_slowest;
};

// A file or folder dropped on a widget, as a user drags one from the file manager.
void dropOn(QWidget* target, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(target->rect().center(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
}

QByteArray loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray("?");
}

class XWatch {
public:
    XWatch()
        : m_display(XOpenDisplay(nullptr))
    {
        if (!m_display)
            return;
        m_netName = XInternAtom(m_display, "_NET_WM_NAME", False);
        m_utf8 = XInternAtom(m_display, "UTF8_STRING", False);
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
        XSync(m_display, False);
    }
    ~XWatch()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    bool isValid() const { return m_display; }

    // Forgets what happened before: the next wait sees only windows mapped after this.
    void drain()
    {
        XSync(m_display, False);
        XEvent event;
        while (XPending(m_display))
            XNextEvent(m_display, &event);
    }

    // Waits on the X connection until a top-level window with the title is viewable.
    bool waitForViewable(const QByteArray& title, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        const int fd = ConnectionNumber(m_display);
        while (clock.elapsed() < timeoutMs) {
            while (XPending(m_display)) {
                XEvent event;
                XNextEvent(m_display, &event);
                if (event.type == MapNotify && isViewable(event.xmap.window) && nameOf(event.xmap.window) == title)
                    return true;
            }
            pollfd p{fd, POLLIN, 0};
            poll(&p, 1, int(std::max<qint64>(1, timeoutMs - clock.elapsed())));
        }
        return false;
    }

private:
    bool isViewable(Window window)
    {
        XWindowAttributes attributes;
        return XGetWindowAttributes(m_display, window, &attributes) && attributes.map_state == IsViewable;
    }
    QByteArray nameOf(Window window)
    {
        Atom type = 0;
        int format = 0;
        unsigned long items = 0, after = 0;
        unsigned char* data = nullptr;
        QByteArray name;
        if (XGetWindowProperty(
                m_display, window, m_netName, 0, 1024, False, m_utf8, &type, &format, &items, &after, &data)
                == Success
            && data) {
            name = QByteArray(reinterpret_cast<const char*>(data), int(items));
            XFree(data);
        }
        if (name.isEmpty()) {
            char* legacy = nullptr;
            if (XFetchName(m_display, window, &legacy) && legacy) {
                name = legacy;
                XFree(legacy);
            }
        }
        return name;
    }

    Display* m_display;
    Atom m_netName = 0;
    Atom m_utf8 = 0;
};

int benchStartup(int runs)
{
    XWatch x;
    if (!x.isValid()) {
        fprintf(stderr, "no X display\n");
        return 1;
    }
    const QString bin = QCoreApplication::applicationDirPath();
    QList<double> startMs, rssMb;
    int failures = 0;
    for (int i = 0; i < runs; ++i) {
        // A folder as a user installs the client: its config, database and log go there.
        QTemporaryDir folder;
        if (!QFile::copy(bin + "/quorvel", folder.filePath("quorvel"))
            || !QFile::copy(bin + "/libQuorvelClient.so", folder.filePath("libQuorvelClient.so"))) {
            fprintf(stderr, "could not copy the client into %s\n", qPrintable(folder.path()));
            return 1;
        }
        QProcess client;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", folder.filePath("xdg-config"));
        // The window is Chinese, as its title below: a C locale would make it English.
        env.insert("LANG", "zh_CN.UTF-8");
        client.setProcessEnvironment(env);
        client.setWorkingDirectory(QDir::tempPath());
        client.setStandardOutputFile(QProcess::nullDevice());
        client.setStandardErrorFile(QProcess::nullDevice());
        x.drain();
        QElapsedTimer clock;
        clock.start();
        client.start(folder.filePath("quorvel"), QStringList());
        const bool shown = x.waitForViewable(WindowTitle, 10000);
        const double ms = clock.nsecsElapsed() / 1e6;
        if (shown) {
            startMs.append(ms);
            // Resident memory once the first burst (discovery, first paints) has settled:
            // a fixed point of measurement, not a wait for anything.
            std::this_thread::sleep_for(std::chrono::seconds(2));
            rssMb.append(statusKb("VmRSS", client.processId()) / 1024.0);
        } else {
            ++failures;
            fprintf(stderr, "run %d: no window within 10 s\n", i + 1);
        }
        client.terminate();
        if (!client.waitForFinished(5000)) {
            client.kill();
            client.waitForFinished(5000);
        }
    }
    QStringList each;
    for (double ms : qAsConst(startMs))
        each << QString::number(ms, 'f', 0);
    printf("startup runs=%d exposed=%d median_ms=%.1f min_ms=%.1f max_ms=%.1f each_ms=%s\n", runs, int(startMs.size()),
        median(startMs), startMs.isEmpty() ? 0 : *std::min_element(startMs.begin(), startMs.end()),
        startMs.isEmpty() ? 0 : *std::max_element(startMs.begin(), startMs.end()), qPrintable(each.join(',')));
    printf("idle_rss window_shown_2s_after median_mb=%.1f min_mb=%.1f max_mb=%.1f\n", median(rssMb),
        rssMb.isEmpty() ? 0 : *std::min_element(rssMb.begin(), rssMb.end()),
        rssMb.isEmpty() ? 0 : *std::max_element(rssMb.begin(), rssMb.end()));
    return failures ? 1 : 0;
}

int benchWindow(int deviceCount, bool preAdded)
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());

    // The file to upload, written before anything is measured.
    const QString file = dir.filePath("upload-1GiB.bin");
    if (!qEnvironmentVariableIsSet("BENCH_WINDOW_NO_UPLOAD")) {
        QFile f(file);
        if (!f.open(QIODevice::WriteOnly)) {
            fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        QByteArray block(1 << 20, '\0');
        for (int i = 0; i < block.size(); ++i)
            block[i] = char(i * 131 + 7);
        for (int i = 0; i < 1024; ++i)
            f.write(block);
    }

    QStringList deviceArgs{"--no-mdns", "--folder", dir.path() + "/served"};
    QList<ServerContent> manual;
    for (int i = 0; i < deviceCount; ++i) {
        const QString address = loopbackDevice(i);
        deviceArgs << "--address" << address;
        ServerContent m;
        m.address = QHostAddress(address);
        m.port = 16020;
        manual.append(m);
    }
    if (preAdded) {
        QuorvelClientDatabase database(dir.path());
        for (const ServerContent& m : qAsConst(manual))
            database.addManualDevice(m);
    }
    QProcess device;
    if (!startDevice(device, deviceArgs)) {
        fprintf(stderr, "the device simulator did not start\n");
        return 1;
    }

    GuiUserInteraction interaction;
    AppContext context(dir.path(), nullptr, &interaction);
    StyleSheet::apply(qApp);
    int result = 0;
    {
        MainWindow window(windowServicesOf(context));
        interaction.setWindow(&window);
        auto* combo = window.findChild<QComboBox*>("serverComboBox");
        auto* card = window.findChild<ServerContentWidget*>("serverWidget");

        StallMeter stalls;
        QElapsedTimer clock;
        bool listed = false;
        if (preAdded) {
            // Found by the discovery that starts with the window: from its show to the
            // full list, the window's first paint included.
            clock.start();
            stalls.start();
            window.show();
            int listedAtExposure = -1;
            listed = waitFor(
                [&] {
                    if (listedAtExposure < 0 && window.windowHandle() && window.windowHandle()->isExposed())
                        listedAtExposure = combo->count();
                    return combo->count() >= deviceCount;
                },
                60000);
            stalls.stop();
            printf("window_discovery_preadded devices=%d listed=%d all_listed_ms=%.0f listed_at_exposure=%d "
                   "longest_stall_incl_first_show_ms=%.1f\n",
                deviceCount, combo->count(), clock.nsecsElapsed() / 1e6, listedAtExposure, stalls.longestMs());
        } else {
            // The window on screen and its first pass over; then the devices are added by
            // hand and the refresh button clicked: from the click to the full list.
            window.show();
            auto* refresh = window.findChild<QPushButton*>("refreshPushButton");
            if (!waitFor([&] { return window.windowHandle()->isExposed() && refresh->isEnabled(); }, 10000)) {
                fprintf(stderr, "the window did not show or its first pass did not end\n");
                return 1;
            }
            for (const ServerContent& m : qAsConst(manual))
                context.database()->addManualDevice(m);
            clock.start();
            stalls.start();
            static_cast<CensusApp*>(qApp)->startCensus();
            const QPoint centre = refresh->rect().center();
            QMouseEvent press(QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(refresh, &press);
            QMouseEvent release(QEvent::MouseButtonRelease, centre, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(refresh, &release);
            // The click's own handling, before any answer is taken in.
            const double clickMs = clock.nsecsElapsed() / 1e6;
            listed = waitFor([&] { return combo->count() >= deviceCount; }, 60000);
            const double listedMs = clock.nsecsElapsed() / 1e6;
            // Until the window has settled: the chosen device's file browser built too.
            const bool settled = waitFor([&] { return window.findChild<FileListDialog*>() != nullptr; }, 10000);
            stalls.stop();
            static_cast<CensusApp*>(qApp)->stopCensus();
            static_cast<CensusApp*>(qApp)->print("window_discovery");
            printf("window_discovery devices=%d listed=%d all_listed_ms=%.0f settled=%d settled_ms=%.0f "
                   "longest_stall_ms=%.1f longest_stall_cpu_ms=%.1f click_ms=%.1f\n",
                deviceCount, combo->count(), listedMs, int(settled), clock.nsecsElapsed() / 1e6, stalls.longestMs(),
                stalls.longestCpuMs(), clickMs);
            listed = listed && settled;
        }
        if (!listed)
            result = 1;

        if (qEnvironmentVariableIsSet("BENCH_WINDOW_NO_UPLOAD")) {
            device.terminate();
            device.waitForFinished(5000);
            return result;
        }
        // The upload, dropped on the device card as a user does.
        bool ended = false;
        QString outcome;
        qint64 progressReports = 0;
        QObject::connect(context.transfers(), &TransferQueue::progress, [&] { ++progressReports; });
        QObject::connect(
            context.transfers(), &TransferQueue::transferEnded, [&](const ProgressContent& last, const TaskOutcome& o) {
                ended = true;
                outcome = last.nativePath + ": " + o.text();
            });
        StallMeter uploading;
        uploading.start();
        clock.restart();
        dropOn(card, file);
        const bool done = waitFor([&] { return ended; }, 300000);
        const double uploadMs = clock.nsecsElapsed() / 1e6;
        uploading.stop();
        printf("window_upload bytes=1073741824 ended=%d upload_ms=%.0f mb_per_s=%.0f progress_reports=%lld "
               "longest_stall_ms=%.1f outcome=\"%s\"\n",
            int(done), uploadMs, 1024 / (uploadMs / 1000), progressReports, uploading.longestMs(), qPrintable(outcome));
        if (!done)
            result = 1;
    }
    device.terminate();
    device.waitForFinished(5000);
    printf("window_peak_rss_mb=%.1f\n", peakRssKb() / 1024.0);
    return result;
}
int benchMoments()
{
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    // A folder of 10,000 files (more than one drop may send) and one of 1,000 (as many).
    for (const auto& [name, files] : {std::pair<const char*, int>{"many", 10000}, {"thousand", 1000}}) {
        QDir().mkpath(dir.filePath(name));
        for (int i = 0; i < files; ++i) {
            QFile f(QStringLiteral("%1/note-%2.txt").arg(dir.filePath(name)).arg(i, 5, 10, QLatin1Char('0')));
            if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray(1024, 'q')) != 1024) {
                fprintf(stderr, "cannot write %s\n", qPrintable(f.fileName()));
                return 1;
            }
        }
    }
    // A device that answers, and one that is found but never answers a listing or a
    // welcome text.
    QProcess device, silent;
    if (!startDevice(device, {"--no-mdns", "--address", "127.0.0.2", "--folder", dir.path() + "/served"})
        || !startDevice(silent,
            {"--no-mdns", "--address", "127.0.0.3", "--name", "Silent", "--uuid", "silent", "--ignore", "file_list",
                "--ignore", "salutatory", "--folder", dir.path() + "/silent"})) {
        fprintf(stderr, "the device simulator did not start\n");
        return 1;
    }
    {
        QuorvelClientDatabase database(dir.path());
        for (const char* address : {"127.0.0.2", "127.0.0.3"}) {
            ServerContent m;
            m.address = QHostAddress(QString::fromLatin1(address));
            m.port = 16020;
            database.addManualDevice(m);
        }
    }
    GuiUserInteraction interaction;
    auto context = std::make_unique<AppContext>(dir.path(), nullptr, &interaction);
    StyleSheet::apply(qApp);
    auto window = std::make_unique<MainWindow>(windowServicesOf(*context));
    interaction.setWindow(window.get());
    window->show();
    auto* combo = window->findChild<QComboBox*>("serverComboBox");
    if (!waitFor([&] { return combo->count() == 2 && window->findChild<FileListDialog*>(); }, 15000)) {
        fprintf(stderr, "the devices did not come into the list\n");
        return 1;
    }
    int result = 0;
    StallMeter stalls;
    auto* census = static_cast<CensusApp*>(qApp);
    // A moment's measures: the window thread's stalls, and what it dispatched meanwhile.
    const auto measure = [&] {
        stalls.start();
        census->startCensus();
    };
    const auto measured = [&](const char* label) {
        stalls.stop();
        census->stopCensus();
        census->print(label);
        census->printBetween(label, stalls.longestFromNs(), stalls.longestToNs());
    };

    // Each folder dropped on the card of the device that answers: the larger is walked
    // and refused with a message, the other sent until every transfer has ended.
    combo->setCurrentIndex(combo->findText(QStringLiteral("Silent")) == 0 ? 1 : 0);
    auto* card = window->findChild<ServerContentWidget*>("serverWidget");
    auto* tabs = window->findChild<QTabWidget*>("fileListTabWidget");
    // Each moment is measured from a window at rest: what the benchmark's own choice of
    // device costs is not the moment's.
    const auto settle = [&] {
        waitFor(
            [&] {
                auto* b = qobject_cast<FileListDialog*>(tabs->currentWidget());
                return b && !b->isLoading();
            },
            10000);
        waitFor([] { return false; }, 300);
    };
    settle();
    int ended = 0, sent = 0;
    QObject::connect(
        context->transfers(), &TransferQueue::transferEnded, [&](const ProgressContent& last, const TaskOutcome&) {
            ++ended;
            sent += last.progress == ProgressContent::Done;
        });
    QElapsedTimer clock;
    clock.start();
    measure();
    dropOn(card, dir.filePath("many"));
    const auto box = [&] {
        const QList<QMessageBox*> boxes = window->findChildren<QMessageBox*>();
        return boxes.isEmpty() ? nullptr : boxes.first();
    };
    const bool refused = waitFor([&] { return box() && box()->isVisible(); }, 30000);
    measured("moment_ten_thousand_files");
    printf("moment_dropped_folder files=10000 refused_with_message=%d to_message_ms=%.1f longest_stall_ms=%.1f "
           "longest_stall_cpu_ms=%.1f\n",
        int(refused), clock.nsecsElapsed() / 1e6, stalls.longestMs(), stalls.longestCpuMs());
    if (QMessageBox* shown = box())
        delete shown;
    settle();
    clock.restart();
    measure();
    dropOn(card, dir.filePath("thousand"));
    const bool allEnded = waitFor([&] { return ended >= 1000; }, 300000);
    measured("moment_thousand_files");
    printf("moment_dropped_folder files=1000 transfers_ended=%d sent=%d s=%.2f longest_stall_ms=%.1f "
           "longest_stall_cpu_ms=%.1f\n",
        ended, sent, clock.nsecsElapsed() / 1e9, stalls.longestMs(), stalls.longestCpuMs());
    if (!refused || !allEnded)
        result = 1;

    // The silent device's browser closed while its listing waits.
    combo->setCurrentIndex(combo->findText(QStringLiteral("Silent")));
    FileListDialog* waiting = nullptr;
    waitFor(
        [&] {
            waiting = qobject_cast<FileListDialog*>(tabs->currentWidget());
            return waiting && waiting->isLoading();
        },
        5000);
    if (!waiting) {
        fprintf(stderr, "the silent device's browser did not open\n");
        return 1;
    }
    // The close and the browser's deletion, which a real event loop would run next.
    QPointer<FileListDialog> gone(waiting);
    clock.restart();
    emit tabs->tabCloseRequested(tabs->indexOf(waiting));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    printf("moment_closed_tab listing_waiting=1 deleted=%d close_and_delete_ms=%.1f\n", int(gone.isNull()),
        clock.nsecsElapsed() / 1e6);

    // The device shown, with its browser open, goes away: the window notices at its next
    // passes, drops it and shows the silent one.
    combo->setCurrentIndex(combo->findText(QStringLiteral("Silent")) == 0 ? 1 : 0);
    settle();
    clock.restart();
    device.kill();
    device.waitForFinished(5000); // blocks this thread: not the window's doing
    measure();
    const bool vanished = waitFor([&] { return combo->count() == 1; }, 90000);
    // And until the window shows the one left: its history, its browser built once the
    // choice has held, and their paint.
    waitFor(
        [&] {
            return qobject_cast<FileListDialog*>(tabs->currentWidget())
                && tabs->tabText(tabs->currentIndex()) == QLatin1String("Silent");
        },
        5000);
    waitFor([] { return false; }, 500);
    measured("moment_device_vanished");
    printf("moment_device_vanished removed=%d after_s=%.1f longest_stall_ms=%.1f longest_stall_cpu_ms=%.1f\n",
        int(vanished), clock.nsecsElapsed() / 1e9, stalls.longestMs(), stalls.longestCpuMs());
    if (!vanished)
        result = 1;

    // Quit with a listing and a welcome text waiting on the silent device, the one left.
    context->actions()->setWelcome(card->server(), QStringLiteral("欢迎"));
    waitFor(
        [&] {
            auto* b = qobject_cast<FileListDialog*>(tabs->currentWidget());
            return b && b->isLoading() && context->pool()->activeThreadCount() > 0;
        },
        5000);
    clock.restart();
    window.reset();
    context.reset();
    printf("moment_quit waiting_on_a_silent_device=2 quit_ms=%.1f\n", clock.nsecsElapsed() / 1e6);
    device.terminate();
    silent.terminate();
    device.waitForFinished(5000);
    silent.waitForFinished(5000);
    return result;
}
} // namespace

int main(int argc, char** argv)
{
    CensusApp app(argc, argv);
    Q_INIT_RESOURCE(drawable);
    const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray("all");
    const int count = argc > 2 ? QByteArray(argv[2]).toInt() : 0;
    printf("loadavg_before=\"%s\"\n", loadAverage().constData());
    int result = 0;
    if (mode == "startup" || mode == "all")
        result |= benchStartup(count > 0 && mode != "all" ? count : 10);
    if (mode == "window" || mode == "window-preadded" || mode == "all")
        result |= benchWindow(count > 0 && mode != "all" ? count : 200, mode == "window-preadded");
    if (mode == "moments" || mode == "all")
        result |= benchMoments();
    printf("loadavg_after=\"%s\"\n", loadAverage().constData());
    return result;
}
