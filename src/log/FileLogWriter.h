#pragma once

#include <QMutex>
#include <QThread>
#include <QWaitCondition>

#include "FileLogBridge.h"

class QFile;

// Writes one log file per run into "log" under the current directory, keeping the
// newest files of this client. The thread only prepares the folder and opens the file;
// writes happen on the thread that owns the writer, in reporting order.
class FileLogWriter : public QThread {
    Q_OBJECT
public:
    static constexpr int KeptOldFiles = 15;

    explicit FileLogWriter(const QString& name, QObject* parent = nullptr);
    ~FileLogWriter() override;

    FileLogBridge* bridge() { return &m_bridge; }
    // The file being written, empty while none is open.
    QString fileName() const;

    // True while the calling thread is inside the writer's own error report: such
    // reports must not come back to the file, or a writer without a file would loop.
    static bool isReportingOwnError();

public slots:
    void priWriteMessage(QString msg);

protected:
    void run() override;

private:
    void openLogFile();
    void reportError(const char* format, const QString& argument);
    void waitUntilOpened();

    QString m_logName;
    QString m_timeFormat;
    QFile* m_file = nullptr;
    FileLogBridge m_bridge;

    mutable QMutex m_fileLock;
    QWaitCondition m_openedCondition;
    bool m_openAttempted = false;
};
