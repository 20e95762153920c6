#pragma once

#include <QList>

#include "quorvel/protocol/RecentFilesContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/Task.h"

class QuorvelClientDatabase;

// Reads the transfer history of one device from the database, newest first.
class GetRecentFiles : public Task {
    Q_OBJECT
public:
    // history outlives the task.
    GetRecentFiles(const ServerContent& server, QuorvelClientDatabase* history);

signals:
    void getRecentFilesEnd(QList<RecentFilesContent> list);

protected:
    void execute() override;
    void finish() override;

private:
    QuorvelClientDatabase* m_history;
    ServerContent m_server;
    QList<RecentFilesContent> m_list;
};
