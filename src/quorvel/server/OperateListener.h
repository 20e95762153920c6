#pragma once

#include <QHostAddress>
#include <QMutex>
#include <QThread>

#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"

class DiscoveryListener;
class OfferedFiles;
class QThreadPool;
class QUdpSocket;
class ServingSessions;

// Takes the requests that devices and other clients send to UDP 16021; each becomes a
// ReplyOperate on the pool it was given, which reports what came of it through the
// signals below (on the listener's owning thread, where the window and the terminal are).
class OperateListener : public QThread {
    Q_OBJECT
public:
    static constexpr quint16 Port = ProtocolPort::Operation;
    // sessions and offers: what is served, to whom, and how it ended. pool: where the
    // requests run (a fetch holds its thread for the whole transfer). hosts knows how
    // parties described themselves when they asked who we are (the name a served file's
    // history gives its party); null: nobody has. All outlive the listener, and the pool
    // is drained before the tables go.
    OperateListener(ServingSessions& sessions, OfferedFiles& offers, QThreadPool& pool,
        const DiscoveryListener* hosts = nullptr, QObject* parent = nullptr);
    // Stops first; the requests it queued report to it, so they must have ended.
    ~OperateListener() override;

    // Ends the listening thread and waits for it: no request is taken after it returns.
    void stop();

    // Sends a reply from the listening socket: a client that fetches from this client
    // takes replies only from port 16021. Never waits for the listener: from another
    // thread the datagram is handed to the listener's thread and its size returned; -1
    // when nothing listens (the caller then sends from a socket of its own).
    qint64 sendReply(const QByteArray& bytes, const QHostAddress& to, quint16 port);
    // The party as it described itself; empty when it never did.
    ServerContent knownHost(const QHostAddress& address) const;
    ServingSessions& sessions() const { return m_sessions; }
    OfferedFiles& offers() const { return m_offers; }
    // The pool the requests run on.
    QThreadPool& pool() const { return m_pool; }

signals:
    void listening();
    // The port is taken (or cannot be bound); the listener tries again every while.
    void bindFailed(quint16 port, QString error);

    // A party offers a file (its name checked, nothing else).
    void isDownloadFile(QString filePath, ServerContent server, quint16 port);
    void servingProgress(ProgressContent content);
    // A file served whole (emitted on the serving thread): the history keeps it.
    void served(RecentFilesContent record);
    void updateRecentFileList();
    // A status query was answered: ok when the party holds exactly what was sent.
    void resultQueried(uint session, bool ok);

protected:
    void run() override;

private:
    void readPending(QUdpSocket* socket);

    ServingSessions& m_sessions;
    OfferedFiles& m_offers;
    QThreadPool& m_pool;
    const DiscoveryListener* m_hosts;
    QMutex m_socketLock;
    QUdpSocket* m_socket = nullptr; // lives on the listener's thread
};
