#pragma once

#include <QList>
#include <QObject>
#include <QRunnable>
#include <QStringList>

#include "FileContent.h"
#include "ServerContent.h"

// Lists one folder of a device, in the order the device sorts it. A long listing comes
// in several datagrams, the last with "finished" true.
class FileFinder : public QObject, public QRunnable {
    Q_OBJECT
public:
    // The folders shown at the device's root; everything else there is hidden.
    static const QStringList RootFolders;

    FileFinder(const QString& path, const QString& sort, const ServerContent& server, QObject* parent = nullptr);
    void run() override;

signals:
    void findFileEnd(QList<FileContent> fileList);

private:
    QString m_path;
    QString m_sort;
    ServerContent m_server;
};
