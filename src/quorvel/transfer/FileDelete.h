#pragma once

#include "quorvel/transfer/FileCommand.h"

// Deletes a file on the device.
class FileDelete : public FileCommand {
    Q_OBJECT
public:
    FileDelete(const QString& path, const ServerContent& server);

protected:
    void execute() override;

private:
    QString m_path;
};
