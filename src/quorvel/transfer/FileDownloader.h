#pragma once

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <memory>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "quorvel/tasks/Task.h"
#include "quorvel/tasks/Throughput.h"
#include "quorvel/transfer/PartialFile.h"

// Copies one file from a device (or from a client that offered it) to a local path:
// request, TCP stream with resumption (also from the NAME.part an earlier run of the
// same download left), MD5 confirmation. It never replaces an existing file unless told
// to (the file then lands under the next free name), refuses what the disk cannot hold,
// and cuts a peer that sends too slowly. The final progress (done or failed) and the
// history record come once, at the end of the run.
class QuorvelClientDatabase;

class FileDownloader : public Task {
    Q_OBJECT
public:
    FileDownloader(const QString& remotePath, const QString& localPath, const ServerContent& server,
        qint64 dateModified, bool replace = false);
    ~FileDownloader() override;

    int id() const { return m_id; }
    // Where the bytes gather until the download is confirmed: NAME.part.
    static QString partPathOf(const QString& localPath);
    // The bytes go to this open descriptor (standard output) as they arrive, in order:
    // no part file, no resumption, one connection. The descriptor stays open.
    void streamTo(int descriptor) { m_streamFd = descriptor; }
    // Where the finished download is recorded (none unless set); it outlives the task.
    void setHistory(QuorvelClientDatabase* history) { m_history = history; }

    // One TCP connection; the MD5 of the bytes it received, empty on failure.
    QString downloadFileViaTcp(QFile& file, const QHostAddress& address, int port, qint64 fileSize, bool resume);

signals:
    void updateProgress(ProgressContent content);
    void updateRecentFileList();

protected:
    void execute() override;
    void finish() override;

private:
    QuorvelClientDatabase* m_history = nullptr;
    bool confirm(const QString& md5);
    void progressed(int percent);

    QString m_remotePath;
    QString m_localPath;
    const QString m_chosenPath; // the name it was given (m_localPath may move on when it lands)
    ServerContent m_server;
    qint64 m_sessionId = 0;
    int m_lastPercent = 100;
    qint64 m_received = 0;
    qint64 m_total = 0;
    qint64 m_dateModified;
    int m_id;
    int m_streamFd = -1;
    bool m_replace;
    std::unique_ptr<PartialFile> m_part;
    QDeadlineTimer m_deadline;
    bool m_givenUp = false; // the peer was too slow: no further connection
    bool m_diskFull = false;
    ProgressContent m_progress;
    Throughput m_speed;
};
