#pragma once

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QObject>
#include <QRunnable>
#include <QStringList>
#include <memory>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "quorvel/tasks/Task.h"
#include "quorvel/tasks/Throughput.h"
#include "json/QtJson.h"

class QThreadPool;
class QuorvelClientDatabase;
class TcpStream;
class UdpRequest;

// Uploads files to devices: to one device strictly one after another in submission
// order, to several devices at once (a lane of one thread per device), so that the same
// file reaches every room's screen in the time of one.
class FileTransferServer : public QObject {
    Q_OBJECT
public:
    // Where a file of this name lands on the device (normal or confidential area).
    static QString remotePathFor(const QString& filePath, bool secure);

    // Returns the transfer number given to the upload; secure chooses the confidential
    // area.
    int uploadFile(const QString& filePath, const ServerContent& server, bool secure);
    // The task behind an upload, for whoever follows it to its end (ended(), cancel());
    // it is started on the upload pool with start().
    class FileUploadTask* makeUpload(const QString& filePath, const ServerContent& server, bool secure);
    void start(class FileUploadTask* task);

    // Blocks until no upload runs or waits.
    void waitForDone();

signals:
    void uploadProgress(ProgressContent content);
    void updateRecentFileList();

private:
    friend class AppContext;
    // Finished uploads are recorded in history (null: nowhere); it outlives the server.
    explicit FileTransferServer(QuorvelClientDatabase* history);
    ~FileTransferServer() override;
    QuorvelClientDatabase* m_history;
    QThreadPool* laneFor(const ServerContent& server);

    QMutex m_lanesLock;
    QHash<QString, QThreadPool*> m_lanes; // by the device's uuid (or address)
};

// One upload: announce, stream over TCP (resuming after a broken connection), then ask
// until the device confirms the MD5. The final progress (done or failed) and the history
// record come once, at the end of the run.
class FileUploadTask : public Task {
    Q_OBJECT
public:
    // history: where the finished upload is recorded (null: nowhere); it outlives the task.
    FileUploadTask(const QString& filePath, const ServerContent& server, bool secure, QuorvelClientDatabase* history);
    ~FileUploadTask() override;

    int id() const { return m_id; }
    const ServerContent& server() const { return m_server; }

    // One TCP connection; true once every byte of the file left.
    bool uploadFileViaTcp(QFile& file, QHostAddress& address, int port, bool resume);

signals:
    void uploadProgress(ProgressContent content);
    void updateRecentFileList();

protected:
    void execute() override;
    void finish() override;

private:
    QuorvelClientDatabase* m_history;
    bool announce(qint64* tcpPort);
    bool readReply(UdpRequest& udp, QtJson::JsonObject* reply);
    // Connections until every byte left; false once the attempts are used up.
    bool sendFile(QFile& file, int tcpPort);
    // sendFile(), then until the device acknowledged every byte: a dropped or stalled
    // connection costs an attempt and resumes.
    bool deliver(QFile& file, int tcpPort);
    bool confirm(QFile& file, int tcpPort, const QString& md5);

    QString m_filePath;
    QString m_remotePath;
    int m_sessionId = -1;
    ServerContent m_server;
    int m_lastPercent = 0;
    qint64 m_bytesSent = 0;
    qint64 m_fileSize = 0;
    int m_id = 0;
    bool m_secure = false;
    ProgressContent m_progress;
    Throughput m_speed;
    // The last connection stays readable (its sending side shut) while the device is
    // asked for its status: bytes the kernel took can still be lost when the device
    // drops it, and then they go again.
    std::unique_ptr<TcpStream> m_stream;
    int m_attempts = 0;
};
