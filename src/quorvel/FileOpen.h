#pragma once

#include "FileCommand.h"

// Shows a file on the device's screen.
class FileOpen : public FileCommand {
    Q_OBJECT
public:
    FileOpen(const QString& path, const ServerContent& server, QObject* parent = nullptr);
    ~FileOpen() override;
    void run() override;

signals:
    void notify(QString description);

private:
    QString m_path;
};
