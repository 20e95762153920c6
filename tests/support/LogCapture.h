#pragma once

#include <QMutex>
#include <QStringList>

// Records every log line from any thread (tasks log on pool threads), and passes it on.
// Install it in initTestCase: the test framework sets its own handler before that.
class LogCapture {
public:
    static void install() { s_previous = qInstallMessageHandler(&LogCapture::handle); }

    static QStringList lines()
    {
        QMutexLocker lock(&s_lock);
        return s_lines;
    }
    static void clear()
    {
        QMutexLocker lock(&s_lock);
        s_lines.clear();
    }
    static int count(const QString& line) { return lines().count(line); }
    static bool contains(const QString& prefix)
    {
        for (const QString& l : lines()) {
            if (l.startsWith(prefix))
                return true;
        }
        return false;
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& msg)
    {
        {
            QMutexLocker lock(&s_lock);
            s_lines.append(msg);
        }
        if (s_previous)
            s_previous(type, context, msg);
    }
    static inline QMutex s_lock;
    static inline QStringList s_lines;
    static inline QtMessageHandler s_previous = nullptr;
};
