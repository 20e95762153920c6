#pragma once

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/Task.h"

class OfferedFiles;

// Offers a local file to another client (or a device): the offer goes out, and the file
// is then served to that host alone when it comes to fetch it.
class FileDistribution : public Task {
    Q_OBJECT
public:
    // clientName: how the offer names this client. offers: where the offer is
    // registered, so that the host may fetch the file; it outlives the task.
    FileDistribution(
        const QString& filePath, const ServerContent& server, const QString& clientName, OfferedFiles& offers);

    // The wire states a served file's size in 32 bits: a larger file cannot be offered.
    static constexpr qint64 MaxSize = 0xFFFFFFFFLL;
    // Whether a file of this size can be offered; why not in *reason.
    static bool sizeFits(qint64 size, QString* reason);
    // Whether the file can be offered (it is a file, and not too large); why not.
    static bool offerable(const QString& filePath, QString* reason);

signals:
    void offered(bool sent);

protected:
    void execute() override;
    void finish() override;

private:
    QString m_filePath;
    ServerContent m_server;
    QString m_clientName;
    OfferedFiles& m_offers;
};
