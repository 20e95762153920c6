#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdio>

#include "BenchUtil.h"
#include "ui/transfers/ProgressDockWidget.h"
#include "ui/transfers/ProgressWidget.h"

// 100 transfers report into the progress panel at once, from a worker thread through
// queued calls as the transfer tasks do: each reports 0..100 percent, then done. Paced:
// one report of every transfer every PACE ms; flood: no pause at all. Measured: the
// longest stall of the window's thread and the time until every row shows "done".
namespace {
constexpr int Transfers = 100;

class Reporter : public QThread {
public:
    Reporter(ProgressDockWidget* panel, int paceMs)
        : m_panel(panel)
        , m_paceMs(paceMs)
    {
    }

protected:
    void run() override
    {
        for (int percent = 0; percent <= 101; ++percent) {
            for (int t = 0; t < Transfers; ++t) {
                ProgressContent c;
                c.id = t;
                c.type = t % 3;
                c.progress = percent;
                c.nativePath = QStringLiteral("/home/user/Documents/report-%1.pdf").arg(t);
                c.remotePath = QStringLiteral("/QuorVEL/report-%1.pdf").arg(t);
                c.bytes = percent * 1048576LL;
                c.totalBytes = 100 * 1048576LL;
                c.speed = percent > 5 ? 50e6 : -1;
                QMetaObject::invokeMethod(
                    m_panel, [p = m_panel, c] { p->uploadProgressUpdated(c); }, Qt::QueuedConnection);
            }
            if (m_paceMs > 0)
                msleep(m_paceMs);
        }
    }

private:
    ProgressDockWidget* m_panel;
    int m_paceMs;
};
} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const int pace = argc > 1 ? atoi(argv[1]) : 5;
    ProgressDockWidget panel(nullptr);
    panel.resize(320, 600);
    panel.show();
    StallMeter stalls;
    QElapsedTimer clock;
    Reporter reporter(&panel, pace);
    QTimer done;
    done.setInterval(1);
    QObject::connect(&done, &QTimer::timeout, [&] {
        if (reporter.isFinished() && panel.rowCount() == Transfers
            && panel.row(Transfers - 1)->accessibleName().endsWith(QStringLiteral("成功.")))
            app.quit();
    });
    QTimer::singleShot(200, [&] {
        stalls.start();
        clock.start();
        reporter.start();
        done.start();
    });
    app.exec();
    stalls.stop();
    printf("progress panel, %d transfers x 102 reports, %s: all done after %lld ms, longest stall %.1f ms\n", Transfers,
        pace > 0 ? qPrintable(QStringLiteral("one round every %1 ms").arg(pace)) : "flood", clock.elapsed(),
        stalls.longestMs());
    reporter.wait();
    return 0;
}
