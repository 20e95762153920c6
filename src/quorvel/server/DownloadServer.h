#pragma once

#include <memory>

#include "ProgressContent.h"
#include "ServerContent.h"
#include "Task.h"

// Streams one offered file to the party that fetches it. A later connection of the
// session resumes at the count the party states: decimal digits (devices) or 8 bytes
// little-endian (this client's own downloader).
class QTcpServer;

class DownloadServer : public Task {
    Q_OBJECT
public:
    static constexpr int BlockSize = 4096;
    static constexpr int LingerSliceMs = 100;

    DownloadServer(const QString& filePath, quint16 tcpPort, uint sessionId, const ServerContent& server);
    ~DownloadServer() override;
    // Serves with a listener already bound to the session's port (taken over; it must
    // live on the thread that runs this task).
    void adoptListener(std::unique_ptr<QTcpServer> listener);
    // Listens on the session's port; done before the fetching party is told the port,
    // so that it never connects to nothing. Called on the thread that runs the task.
    bool listen();

signals:
    void uploadProgress(ProgressContent content);
    void updateRecentFileList();

protected:
    void execute() override;
    void finish() override;

private:
    void error(const QString& text);
    bool lingerForResumption(QTcpServer& server);
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
    std::unique_ptr<QTcpServer> m_listener;
};
