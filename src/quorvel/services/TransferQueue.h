#pragma once

#include <QHash>
#include <QObject>
#include <QStringList>

#include "platform/UserInteraction.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"
#include "quorvel/tasks/TaskHandle.h"
#include "quorvel/tasks/TaskOutcome.h"

class ClientSettings;
class FileTransferServer;
class OfferedFiles;
class QThreadPool;
class QuorvelClientDatabase;
class Task;

// Uploads and downloads that a front end starts, each followed to its outcome. Uploads
// to one device run one after another (to several, side by side), downloads on a pool
// of their own. Every report arrives on the queue's thread.
class TransferQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int DownloadThreads = 4;

    // Uploads go through uploads; offers carry the settings' client name and are
    // registered in offers, from where the inbound side serves them. All outlive the queue.
    // Downloads are recorded in history (null: nowhere).
    TransferQueue(FileTransferServer& uploads, const ClientSettings& settings, QuorvelClientDatabase* history,
        OfferedFiles& offers, QObject* parent = nullptr);
    // Stops what still runs (partial files stay for a later resumption) and waits.
    ~TransferQueue() override;

    // Who is asked about what arrives (offers, a download that would land on a file);
    // the fallback until one is set. Not owned; it outlives the queue.
    void setUser(UserInteraction* user) { m_user = user; }
    UserInteraction& user() const { return m_user ? *m_user : UserInteraction::fallback(); }

    // The transfer numbers, in the order given.
    QList<int> upload(const QStringList& files, const ServerContent& device, bool secure);
    // localPath comes from FileLanding::choose(); with replace, a plain file there is
    // replaced, otherwise the file lands beside it under the next free name.
    int download(const QString& remotePath, const QString& localPath, const ServerContent& device,
        qint64 dateModified = 0, bool replace = false);
    // A download whose bytes go to an open descriptor (standard output) as they arrive;
    // localName is what reports and the history call it.
    int stream(const QString& remotePath, int descriptor, const QString& localName, const ServerContent& device,
        qint64 dateModified = 0);
    // Offers each file to another client, which fetches it when its user agrees; the
    // serving is reported by the inbound side. offerEnded() says whether the offer went out.
    void offer(const QStringList& files, const ServerContent& client);
    // Uploads to a device, or offers to another client: what sending means for the target.
    void send(const QStringList& files, const ServerContent& target, bool secure);
    // Starts a failed transfer again, as it was (same paths, same area): its new number.
    // A file served to another client is offered to it again instead; then -1, as the
    // fetch that follows is the other party's.
    int retry(const ProgressContent& failed);

    // Asks every running or waiting transfer to stop at its next step.
    void stopAll();
    // Stops, then blocks until no transfer of this queue runs.
    void stopAndWait();

signals:
    // Progress between 0 and 100 percent.
    void progress(ProgressContent content);
    // The transfer's last report (done or failed, with the reason) and its outcome.
    void transferEnded(ProgressContent last, TaskOutcome outcome);
    void offerEnded(QString file, ServerContent client, TaskOutcome outcome);
    // Every transfer started so far has ended.
    void idle();

private:
    void follow(Task* task, int id);
    void onReport(const ProgressContent& content);
    void onEnded(int id, const TaskOutcome& outcome);

    FileTransferServer& m_uploads;
    const ClientSettings& m_settings;
    QuorvelClientDatabase* m_history;
    OfferedFiles& m_offers;
    UserInteraction* m_user = nullptr;
    QThreadPool* m_downloads;
    QHash<int, ProgressContent> m_last;
    int m_running = 0;
    // Transfers that have not ended yet, to stop them.
    QHash<int, TaskHandle> m_active;
};
