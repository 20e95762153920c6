#pragma once

#include "quorvel/browse/FileCommand.h"

// Shows a file on the device's screen.
class FileOpen : public FileCommand {
    Q_OBJECT
public:
    FileOpen(const QString& path, const ServerContent& server);

signals:
    void notify(QString description);

protected:
    void execute() override;
    void finish() override;

private:
    QString m_path;
};
