#pragma once

#include <QList>
#include <QStringList>

#include "quorvel/protocol/FileContent.h"
#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/Task.h"

// Lists one folder of a device, in the order the device sorts it. A long listing comes
// in several datagrams, the last with "finished" true. A device that never answers gets
// an empty list delivered (the browser shows an empty folder) and a failed outcome.
class FileFinder : public Task {
    Q_OBJECT
public:
    // The folders shown at the device's root; everything else there is hidden.
    static const QStringList RootFolders;

    FileFinder(const QString& path, const QString& sort, const ServerContent& server);

signals:
    void findFileEnd(QList<FileContent> fileList);

protected:
    void execute() override;
    void finish() override;

private:
    QList<FileContent> m_list;
    bool m_deliver = false;
    QString m_path;
    QString m_sort;
    ServerContent m_server;
};
