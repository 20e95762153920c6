#pragma once

#include <QElapsedTimer>
#include <QVector>

// The speed of a transfer as a person should see it. The first bytes only fill socket
// buffers (a sender sees gigabytes per second), so no speed is given until a second has
// passed and the buffers' worth has moved; after that it is the rate over the last few
// seconds.
class Throughput {
public:
    static constexpr qint64 UnsettledMs = 1000;
    static constexpr qint64 WindowMs = 3000;

    // bufferedBytes: what the path can hold before the other side reads it.
    explicit Throughput(qint64 bufferedBytes = 0);

    // Starts (again) with this many bytes already moved (a resumed transfer).
    void restart(qint64 bytes);
    // Total bytes moved so far; the speed in bytes per second, or -1 while it means
    // nothing yet.
    double sample(qint64 bytes);
    // As sample(), with the clock given (tests).
    double sampleAt(qint64 elapsedMs, qint64 bytes);

private:
    struct Point {
        qint64 ms;
        qint64 bytes;
    };
    QElapsedTimer m_clock;
    qint64 m_buffered;
    qint64 m_base = 0;
    QVector<Point> m_points;
};
