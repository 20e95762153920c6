#pragma once

#include <QThread>
#include <atomic>

class QLocalServer;
class QLocalSocket;

// The single-instance listener: accepts local connections on its own thread and turns
// what later starts of the client write into commands ("CMD:showUp").
class LocalServer : public QThread {
    Q_OBJECT
public:
    explicit LocalServer(const QString& name, QObject* parent = nullptr);
    ~LocalServer() override;

    // Ends the listener's event loop and waits for the thread.
    void stop();

    // Connections accepted and not yet closed by their peer.
    int connectionCount() const { return m_connections; }

signals:
    void dataReceived(QString data);
    void privateDataReceived(QString data);
    void showUp();

public slots:
    void slotOnData(QString data);

protected:
    void run() override;

private:
    void accept(QLocalServer* server);

    QString m_name;
    std::atomic<int> m_connections{0}; // written on the listener's thread only
};
