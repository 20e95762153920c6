#pragma once

#include "ServerContent.h"
#include "Task.h"

// Offers a local file to another client (or a device): the offer goes out, and the file
// is then served to that host alone when it comes to fetch it.
class FileDistribution : public Task {
    Q_OBJECT
public:
    FileDistribution(const QString& filePath, const ServerContent& server);

signals:
    void offered(bool sent);

protected:
    void execute() override;
    void finish() override;

private:
    QString m_filePath;
    ServerContent m_server;
};
