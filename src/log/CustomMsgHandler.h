#pragma once

#include <QMutex>
#include <QObject>
#include <QTimer>
#include <memory>

class FileLogWriter;
class LogLimiter;

// The process-wide message handler: every qDebug/qWarning/qCritical goes to the log
// file and to message() (the debug window), bounded by a LogLimiter: lines cut and
// escaped, repeats summed up. One instance at a time is installed; uninstalling writes
// the summaries still pending.
class CustomMsgHandler : public QObject {
    Q_OBJECT
public:
    // Writes the log into logFolder (created if missing), in files named logName-TIME.log
    // that are rotated apart from other programs' files.
    explicit CustomMsgHandler(
        const QString& logFolder, const QString& logName = QStringLiteral("QuorvelClient"), QObject* parent = nullptr);
    ~CustomMsgHandler() override;

    bool install();
    bool uninstall();

    FileLogWriter* writer() const { return m_writer; }

signals:
    void message(QString msg);

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& msg);
    void deliver(const QStringList& lines, bool toFile);
    // On the handler's thread: summaries that are due, and the timer for the next.
    void flushSummaries(bool all);

    FileLogWriter* m_writer = nullptr;
    QMutex m_limitLock; // guards m_limiter; never held while a line is delivered
    std::unique_ptr<LogLimiter> m_limiter;
    QTimer m_summaryTimer;
};
