#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <algorithm>

// Peak resident set size of this process in kB (VmHWM).
inline long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

inline double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int n = values.size();
    return n % 2 ? values.at(n / 2) : (values.at(n / 2 - 1) + values.at(n / 2)) / 2;
}

// Starts quorvel-device beside this program and waits until it is ready.
inline bool startDevice(QProcess& device, const QStringList& arguments)
{
    device.setProgram(QCoreApplication::applicationDirPath() + QStringLiteral("/quorvel-device"));
    device.setArguments(arguments);
    device.start();
    QByteArray out;
    while (!out.contains("ready") && device.waitForReadyRead(10000))
        out += device.readAllStandardOutput();
    return out.contains("ready");
}
