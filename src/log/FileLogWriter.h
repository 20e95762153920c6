#pragma once

#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>
#include <functional>

#include "log/FileLogBridge.h"

class QFile;

// Writes one log file per run into its folder, keeping
// the newest files of this client. A reporting thread only queues its message; the
// writer's own thread opens the file and writes and flushes every message in reporting
// order, so no reporter (the window least of all) waits on the disk. Stopping writes
// whatever is queued before the file closes. The folder and the files are its owner's only.
class FileLogWriter : public QThread {
    Q_OBJECT
public:
    static constexpr int KeptOldFiles = 15;

    // Writes into folder (created if missing).
    FileLogWriter(const QString& name, const QString& folder, QObject* parent = nullptr);
    ~FileLogWriter() override;

    FileLogBridge* bridge() { return &m_bridge; }
    // The file this writer writes (or wrote), empty until one is open or when none could be.
    QString fileName() const;

    // Writes what is queued, closes the file and ends the thread; later messages are
    // dropped. Safe to call twice.
    void stop();

    // True while the calling thread is inside the writer's own error report: such
    // reports must not come back to the file, or a writer without a file would loop.
    static bool isReportingOwnError();

    // Tests: runs on the writing thread just before each message is written.
    void setBeforeWriteForTests(std::function<void()> hook);

public slots:
    // Queues one message for the file and returns at once; callable from any thread.
    void priWriteMessage(QString msg);

protected:
    void run() override;

private:
    void openLogFile();
    void writeOne(QString msg);
    void reportError(const char* format, const QString& argument);

    QString m_logName;
    QString m_folder;
    QString m_timeFormat;
    QFile* m_file = nullptr; // used on the writer's thread only
    FileLogBridge m_bridge;

    mutable QMutex m_lock; // guards everything below
    QWaitCondition m_wake;
    QStringList m_queue;
    bool m_stopping = false;
    QString m_fileName;
    std::function<void()> m_beforeWrite;
};
