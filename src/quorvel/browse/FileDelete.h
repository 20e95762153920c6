#pragma once

#include "quorvel/browse/FileCommand.h"

// Deletes a file on the device.
class FileDelete : public FileCommand {
    Q_OBJECT
public:
    FileDelete(const QString& path, const ServerContent& server);

signals:
    void notify(QString description);
    void deleteFileEnd(bool result);

protected:
    void execute() override;
    void finish() override;

private:
    QString m_path;
};
