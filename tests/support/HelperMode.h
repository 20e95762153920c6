#pragma once

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <unistd.h>

// For a test program that runs itself on another host in a helper mode: one line at a
// time to the test that reads it, and an end when the test says so.
namespace HelperMode {

inline void say(const QByteArray& line)
{
    fprintf(stdout, "%s\n", line.constData());
    fflush(stdout);
}
inline void say(const QString& line)
{
    say(line.toUtf8());
}
inline void say(const char* line)
{
    say(QByteArray(line));
}

// Ends the helper's event loop when its standard input says anything (or ends).
inline void stopOnInput()
{
    auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, qApp);
    QObject::connect(input, &QSocketNotifier::activated, qApp, [] { QCoreApplication::quit(); });
}

} // namespace HelperMode
