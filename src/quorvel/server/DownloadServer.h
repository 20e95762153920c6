#pragma once

#include <QHostAddress>
#include <QMutex>
#include <memory>

#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "quorvel/tasks/Task.h"

class QTcpServer;
class ServingSessions;
class TcpStream;

// Streams one offered file to the party that fetches it, and to nobody else: a
// connection from any other address is closed at once. A later connection of the
// session resumes at the count the party states: decimal digits (devices) or 8 bytes
// little-endian (this client's own downloader). The bytes leave as an upload's do,
// straight from the page cache, with the digest on a thread of its own.
class DownloadServer : public Task {
    Q_OBJECT
public:
    static constexpr int OffsetBufferSize = 4096;
    static constexpr int SliceMs = 100;
    static constexpr int LingerSliceMs = 10;

    // party: the address that asked for the file. sessions: where the session's result
    // goes and where the end of the program stops the task; it outlives the task.
    DownloadServer(const QString& filePath, quint16 tcpPort, uint sessionId, const ServerContent& server,
        const QHostAddress& party, ServingSessions& sessions);
    ~DownloadServer() override;
    // Serves with a listener already bound to the session's port (taken over; it must
    // live on the thread that runs this task).
    void adoptListener(std::unique_ptr<QTcpServer> listener);
    // Listens on the session's port; done before the fetching party is told the port,
    // so that it never connects to nothing. Called on the thread that runs the task.
    bool listen();
    // Ends the task within a fraction of a second from any thread, even in the middle of
    // a blocking send.
    void stop();

signals:
    void uploadProgress(ProgressContent content);
    // A file served whole, for the history; emitted on the serving thread before
    // updateRecentFileList.
    void served(RecentFilesContent record);
    void updateRecentFileList();

protected:
    void execute() override;
    void finish() override;

private:
    // Logs the system's own line and ends with the reason the user reads.
    void error(const QString& logText, const QString& reason);
    // The next connection from the party within waitMs, refusing others; -1 when none
    // came (or the task was stopped).
    int acceptParty(int waitMs);
    bool lingerForResumption();
    // Sends from the offset on; true once the whole file left.
    bool stream(int fileDescriptor, qint64 size, qint64* offset);
    ProgressContent report(int progress) const;

    QString m_filePath;
    quint16 m_tcpPort;
    uint m_sessionId;
    int m_progress = 0;
    // What the reports count: bytes sent of the file's size.
    qint64 m_sent = 0;
    qint64 m_size = 0;
    int m_id;
    ServerContent m_server;
    QHostAddress m_party;
    ServingSessions& m_sessions;
    std::unique_ptr<QTcpServer> m_listener;
    QMutex m_streamLock; // the stream is swapped on the task's thread, woken from others
    std::unique_ptr<TcpStream> m_stream;
    int m_refused = 0;
};
