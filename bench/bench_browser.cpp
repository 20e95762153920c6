#include <QAbstractItemView>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QWindow>
#include <cstdio>
#include <ctime>

#include "BenchUtil.h"
#include "app/AppContext.h"
#include "settings/Config.h"
#include "ui/browser/FileListDialog.h"
#include "ui/browser/FileListView.h"
#include "ui/browser/FileTreeModel.h"

// The file browser on a folder of 20,000 images on the simulator: from asking for the
// folder to its first rows and to its last row on screen, and the longest stall of the
// window's thread while it loads and while the view scrolls from top to bottom, each
// image row asking for its thumbnail as it comes into view.
namespace {
// Counts the paints of a widget and the time of the last one.
struct PaintWatch : QObject {
    QElapsedTimer* clock = nullptr;
    int paints = 0;
    qint64 lastNs = 0;
    // The first paint after arm(): the rows that came with a new listing.
    bool armed = false;
    qint64 firstAfterArmNs = 0;
    void arm() { armed = true; }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            lastNs = clock->nsecsElapsed();
            if (armed && !firstAfterArmNs)
                firstAfterArmNs = lastNs;
        }
        return false;
    }
};

// CPU time of the calling thread: its own work, apart from time others' processes took.
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

void press(QWidget* widget, int key)
{
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

int rowOf(QAbstractItemModel* model, const QString& name)
{
    const QModelIndexList found = model->match(model->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
    return found.isEmpty() ? -1 : found.first().row();
}
} // namespace

// bench_browser [entries [date|name]]: the folder in the browser's own first order (newest
// first) or by name.
int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int entries = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;
    const bool byName = argc > 2 && QByteArray(argv[2]) == "name";
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    AppContext context(dir.path());

    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    QDir folder(dir.path() + "/served/Quorvel/many");
    folder.mkpath(".");
    for (int i = 0; i < entries; ++i) {
        QFile f(folder.filePath(QStringLiteral("img-%1.png").arg(i, 5, 10, QLatin1Char('0'))));
        if (f.open(QIODevice::WriteOnly))
            f.write(png);
    }
    QProcess device;
    if (!startDevice(device, {"--address", "127.0.0.2", "--no-mdns", "--folder", dir.path() + "/served"})) {
        fprintf(stderr, "the device simulator did not start\n");
        return 1;
    }
    ServerContent server;
    server.address = QHostAddress("127.0.0.2");
    server.uuid = "bench-browser";

    FileListDialog dialog(
        server, *context.transfers(), *context.actions(), *context.config(), context.database(), FileTypes());
    auto* view = dialog.findChild<FileListView*>("FileTreeView");
    QAbstractItemModel* model = view->model();
    dialog.show();
    waitFor([&] { return dialog.windowHandle() && dialog.windowHandle()->isExposed(); }, 5000);
    // Into /Quorvel, where the big folder is one row.
    const auto enter = [&](const QString& name) {
        waitFor([&] { return rowOf(model, name) >= 0 && !dialog.isLoading(); }, 10000);
        view->setCurrentIndex(model->index(rowOf(model, name), 0));
        press(view, Qt::Key_Return);
    };
    enter("Quorvel");
    waitFor([&] { return dialog.currentPath() == "/Quorvel" && !dialog.isLoading(); }, 10000);
    if (byName) {
        view->orderByNameIncreaseActionTriggered();
        waitFor([&] { return !dialog.isLoading(); }, 10000);
    }
    view->setFocus();

    QElapsedTimer clock;
    PaintWatch paints;
    paints.clock = &clock;
    view->viewport()->installEventFilter(&paints);
    qint64 resetNs = 0;
    QObject::connect(model, &QAbstractItemModel::modelReset, [&] {
        resetNs = clock.nsecsElapsed();
        paints.arm();
    });
    StallMeter stall;
    stall.start();
    clock.start();
    enter("many");
    const bool listed = waitFor([&] { return model->rowCount() == entries && paints.firstAfterArmNs > 0; }, 30000);
    const double firstRowsS = paints.firstAfterArmNs / 1e9;
    const qint64 beforeEnd = paints.paints;
    press(view, Qt::Key_End);
    const QModelIndex last = model->index(entries - 1, 0);
    waitFor(
        [&] { return paints.paints > beforeEnd && view->viewport()->rect().contains(view->visualRect(last).center()); },
        5000);
    const double lastRowS = paints.lastNs / 1e9;
    const double loadStallMs = stall.longestMs();
    stall.stop();

    // Top to bottom, one page every 10 ms, thumbnails asked for as rows come into view.
    QScrollBar* bar = view->verticalScrollBar();
    bar->setValue(0);
    QCoreApplication::processEvents();
    int thumbsAsked = 0;
    int thumbsShown = 0;
    QObject::connect(qobject_cast<FileTreeModel*>(model), &FileTreeModel::startGetThumb, [&] { ++thumbsAsked; });
    QObject::connect(model, &QAbstractItemModel::dataChanged, [&] { ++thumbsShown; });
    QElapsedTimer scroll;
    const double cpuBefore = threadCpuSeconds();
    stall.start();
    scroll.start();
    int pages = 0;
    while (bar->value() < bar->maximum()) {
        bar->setValue(bar->value() + bar->pageStep());
        ++pages;
        waitFor([] { return false; }, 10);
    }
    const double scrollS = scroll.nsecsElapsed() / 1e9;
    // Let the last page's thumbnails come in, still measured.
    waitFor([] { return false; }, 1500);
    const double scrollStallMs = stall.longestMs();
    const double scrollCpuS = threadCpuSeconds() - cpuBefore;
    stall.stop();
    device.terminate();
    device.waitForFinished(3000);

    printf("browser order=%s entries=%d listed=%d open_to_rows_in_model_s=%.3f open_to_first_rows_s=%.3f "
           "open_to_last_row_s=%.3f "
           "longest_stall_loading_ms=%.1f\n",
        byName ? "name" : "date", entries, listed ? model->rowCount() : -1, resetNs / 1e9, firstRowsS, lastRowS,
        loadStallMs);
    printf("browser scroll pages=%d s=%.2f thumbnails_asked=%d thumbnails_shown=%d longest_stall_scrolling_ms=%.1f "
           "window_thread_cpu_s=%.2f peak_rss_kb=%ld\n",
        pages, scrollS, thumbsAsked, thumbsShown, scrollStallMs, scrollCpuS, peakRssKb());
    return listed ? 0 : 1;
}
