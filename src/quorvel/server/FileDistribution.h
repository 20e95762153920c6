#pragma once

#include <QObject>
#include <QRunnable>

#include "ServerContent.h"

// Offers a local file to another client (or a device): the offer goes out, and the file
// is then served to that host alone when it comes to fetch it.
class FileDistribution : public QObject, public QRunnable {
    Q_OBJECT
public:
    FileDistribution(const QString& filePath, const ServerContent& server, QObject* parent = nullptr);
    void run() override;

signals:
    void offered(bool sent);

private:
    QString m_filePath;
    ServerContent m_server;
};
