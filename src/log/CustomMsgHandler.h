#pragma once

#include <QObject>

class FileLogWriter;

// The process-wide message handler: every qDebug/qWarning/qCritical goes to the log
// file and to message() (the debug window). One instance at a time is installed.
class CustomMsgHandler : public QObject {
    Q_OBJECT
public:
    // The log goes to `logFolder`, or to the writer's default folder when it is empty.
    explicit CustomMsgHandler(QObject* parent = nullptr, const QString& logFolder = QString());
    ~CustomMsgHandler() override;

    bool install();
    bool uninstall();

    FileLogWriter* writer() const { return m_writer; }

signals:
    void message(QString msg);

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& msg);

    FileLogWriter* m_writer = nullptr;
};
