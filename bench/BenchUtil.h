#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <ctime>

// A field in kB of a process's /proc status ("VmRSS", "VmHWM"); pid 0 is this process.
inline long statusKb(const QByteArray& field, qint64 pid = 0)
{
    QFile status(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLong();
    }
    return -1;
}

// Peak resident set size of this process in kB.
inline long peakRssKb()
{
    return statusKb("VmHWM");
}

// Runs the event loop until done() holds or the time is up; whether it holds. It sleeps
// between events (processEvents with a time limit returns at once when there are none:
// a loop around it keeps a whole core busy and slows what it measures).
template <typename Done> bool waitFor(Done done, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    QTimer tick; // wakes the wait at least this often
    tick.start(5);
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

// The address of simulated device number i (0, 1, ...) on loopback, 250 to a /24.
inline QString loopbackDevice(int i)
{
    return QStringLiteral("127.0.%1.%2").arg(1 + i / 250).arg(1 + i % 250);
}

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

// Starts the command and reads its current read channel until it says `word` (that it
// listens, is ready...); whether it did within 10 s.
inline bool startUntil(QProcess& process, const QStringList& command, const QByteArray& word)
{
    process.start(command.first(), command.mid(1));
    QByteArray said;
    while (!said.contains(word) && process.waitForReadyRead(10000))
        said += process.readAll();
    return said.contains(word);
}

// Starts quorvel-device beside this program and waits until it is ready.
inline bool startDevice(QProcess& device, const QStringList& arguments)
{
    return startUntil(device,
        QStringList{QCoreApplication::applicationDirPath() + QStringLiteral("/quorvel-device")} + arguments, "ready");
}

// The longest the thread that owns it went without turning its event loop, beyond the 2 ms
// tick of a precise timer; and, of that gap, the processor time the thread itself spent:
// on a busy machine the wall figure includes time other processes took, the processor
// figure does not (it also leaves out waits on the disk).
inline qint64 monotonicNs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return qint64(t.tv_sec) * 1000000000LL + t.tv_nsec;
}

class StallMeter {
public:
    StallMeter()
    {
        m_ticker.setTimerType(Qt::PreciseTimer);
        m_ticker.setInterval(Interval);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] { endGap(); });
    }
    void start()
    {
        m_longestNs = 0;
        m_longestCpuNs = 0;
        m_longestFromNs = m_longestToNs = 0;
        m_gapFromNs = monotonicNs();
        m_gapCpuNs = threadCpuNs();
        m_ticker.start();
    }
    // The gap up to now counts too: the last thing measured may have just ended it.
    void stop()
    {
        if (!m_ticker.isActive())
            return;
        m_ticker.stop();
        endGap();
    }
    double longestMs() const { return m_longestNs / 1e6; }
    double longestCpuMs() const { return m_longestCpuNs / 1e6; }
    // When the longest gap began and ended, on monotonicNs()'s clock.
    qint64 longestFromNs() const { return m_longestFromNs; }
    qint64 longestToNs() const { return m_longestToNs; }

private:
    void endGap()
    {
        const qint64 now = monotonicNs(), cpu = threadCpuNs();
        if (now - m_gapFromNs - Interval * 1000000LL > m_longestNs) {
            m_longestNs = now - m_gapFromNs - Interval * 1000000LL;
            m_longestFromNs = m_gapFromNs;
            m_longestToNs = now;
        }
        m_longestCpuNs = std::max(m_longestCpuNs, cpu - m_gapCpuNs);
        m_gapFromNs = now;
        m_gapCpuNs = cpu;
    }
    static qint64 threadCpuNs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return qint64(t.tv_sec) * 1000000000LL + t.tv_nsec;
    }
    static constexpr int Interval = 2;
    QTimer m_ticker;
    qint64 m_gapFromNs = 0;
    qint64 m_longestFromNs = 0;
    qint64 m_longestToNs = 0;
    qint64 m_longestNs = 0;
    qint64 m_gapCpuNs = 0;
    qint64 m_longestCpuNs = 0;
};
