#pragma once

#include <QObject>

// Carries messages from whatever thread reports them to the file writer.
class FileLogBridge : public QObject {
    Q_OBJECT
signals:
    void onWriteMessage(QString msg);
};
