#pragma once

#include "quorvel/transfer/FileCommand.h"

// Shows a file on the device's screen.
class FileOpen : public FileCommand {
    Q_OBJECT
public:
    FileOpen(const QString& path, const ServerContent& server);

protected:
    void execute() override;

private:
    QString m_path;
};
