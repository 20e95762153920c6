#pragma once

#include "FileCommand.h"

// Deletes a file on the device.
class FileDelete : public FileCommand {
    Q_OBJECT
public:
    FileDelete(const QString& path, const ServerContent& server, QObject* parent = nullptr);
    ~FileDelete() override;
    void run() override;

signals:
    void notify(QString description);
    void deleteFileEnd(bool result);

private:
    QString m_path;
};
