#include "quorvel/services/TransferQueue.h"

#include <QThread>
#include <QThreadPool>

#include "quorvel/protocol/ProtocolWords.h"
#include "quorvel/server/FileDistribution.h"
#include "quorvel/storage/ClientSettings.h"
#include "quorvel/transfer/FileDownloader.h"
#include "quorvel/transfer/FileTransferServer.h"

TransferQueue::TransferQueue(FileTransferServer& uploads, const ClientSettings& settings,
    QuorvelClientDatabase* history, OfferedFiles& offers, QObject* parent)
    : QObject(parent)
    , m_uploads(uploads)
    , m_settings(settings)
    , m_history(history)
    , m_offers(offers)
    , m_downloads(new QThreadPool(this))
{
    // Downloads wait mostly on the network: a few run at once, so that the fetches one
    // party's offers start (at most two, OfferInbox) never hold every thread.
    m_downloads->setMaxThreadCount(qMax(QThread::idealThreadCount(), DownloadThreads));
}

TransferQueue::~TransferQueue()
{
    stopAndWait();
}

QList<int> TransferQueue::upload(const QStringList& files, const ServerContent& device, bool secure)
{
    QList<int> ids;
    for (const QString& file : files) {
        FileUploadTask* task = m_uploads.makeUpload(file, device, secure);
        const int id = task->id();
        connect(task, &FileUploadTask::uploadProgress, this, &TransferQueue::onReport);
        follow(task, id);
        m_uploads.start(task);
        ids.append(id);
    }
    return ids;
}

int TransferQueue::download(
    const QString& remotePath, const QString& localPath, const ServerContent& device, qint64 dateModified, bool replace)
{
    auto* task = new FileDownloader(remotePath, localPath, device, dateModified, replace);
    task->setHistory(m_history);
    const int id = task->id();
    connect(task, &FileDownloader::updateProgress, this, &TransferQueue::onReport);
    follow(task, id);
    m_downloads->start(task);
    return id;
}

int TransferQueue::stream(const QString& remotePath, int descriptor, const QString& localName,
    const ServerContent& device, qint64 dateModified)
{
    auto* task = new FileDownloader(remotePath, localName, device, dateModified);
    task->setHistory(m_history);
    task->streamTo(descriptor);
    const int id = task->id();
    connect(task, &FileDownloader::updateProgress, this, &TransferQueue::onReport);
    follow(task, id);
    m_downloads->start(task);
    return id;
}

void TransferQueue::offer(const QStringList& files, const ServerContent& client)
{
    for (const QString& file : files) {
        auto* task = new FileDistribution(file, client, m_settings.clientName(), m_offers);
        ++m_running;
        connect(task, &Task::ended, this, [this, file, client](const TaskOutcome& outcome) {
            --m_running;
            emit offerEnded(file, client, outcome);
            if (m_running == 0)
                emit idle();
        });
        m_downloads->start(task);
    }
}

void TransferQueue::send(const QStringList& files, const ServerContent& target, bool secure)
{
    if (target.type == QLatin1String("client"))
        offer(files, target);
    else
        upload(files, target, secure);
}

int TransferQueue::retry(const ProgressContent& failed)
{
    if (failed.type == ProgressContent::Download)
        return download(failed.remotePath, failed.nativePath, failed.server, failed.dateModified);
    if (failed.server.type == ProtocolValue::Client) {
        offer({failed.nativePath}, failed.server);
        return -1;
    }
    return upload({failed.nativePath}, failed.server, failed.type == ProgressContent::SecureUpload).value(0, -1);
}

void TransferQueue::follow(Task* task, int id)
{
    ++m_running;
    m_active.insert(id, TaskHandle(task));
    connect(task, &Task::ended, this, [this, id](const TaskOutcome& outcome) { onEnded(id, outcome); });
}

void TransferQueue::onReport(const ProgressContent& content)
{
    m_last.insert(content.id, content);
    if (!content.isFinal())
        emit progress(content);
}

void TransferQueue::onEnded(int id, const TaskOutcome& outcome)
{
    --m_running;
    m_active.remove(id);
    emit transferEnded(m_last.value(id), outcome);
    if (m_running == 0)
        emit idle();
}

void TransferQueue::stopAll()
{
    for (const TaskHandle& task : qAsConst(m_active))
        task.cancel();
}

void TransferQueue::stopAndWait()
{
    stopAll();
    m_downloads->waitForDone();
    m_uploads.waitForDone();
}
