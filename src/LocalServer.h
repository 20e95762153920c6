#pragma once

#include <QThread>

class QLocalServer;
class QLocalSocket;

// The single-instance listener: accepts local connections on its own thread and turns
// what later starts of the client write into commands ("CMD:showUp").
class LocalServer : public QThread {
    Q_OBJECT
public:
    explicit LocalServer(const QString& name, QObject* parent = nullptr);
    ~LocalServer() override;

    // Ends the loop cooperatively and waits for the thread.
    void stop();

signals:
    void dataReceived(QString data);
    void privateDataReceived(QString data);
    void showUp();

public slots:
    void slotOnData(QString data);

protected:
    void run() override;

private:
    QString m_name;
};
