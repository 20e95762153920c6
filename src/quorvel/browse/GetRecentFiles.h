#pragma once

#include <QList>

#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/Task.h"

// Reads the transfer history of one device from the database, newest first.
class GetRecentFiles : public Task {
    Q_OBJECT
public:
    explicit GetRecentFiles(const ServerContent& server);

signals:
    void getRecentFilesEnd(QList<RecentFilesContent> list);

protected:
    void execute() override;
    void finish() override;

private:
    ServerContent m_server;
    QList<RecentFilesContent> m_list;
};
