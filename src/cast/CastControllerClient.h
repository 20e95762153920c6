#pragma once

#include <QThread>

class QLocalSocket;
class SendDataBridge;

// The client's end of the local link to the casting program: status lines in, commands
// out, on a thread of its own.
class CastControllerClient : public QThread {
    Q_OBJECT
public:
    static constexpr int RetryMs = 333;

    explicit CastControllerClient(const QString& serverName, QObject* parent = nullptr);
    ~CastControllerClient() override;

    bool start();
    bool sendPause();
    bool sendResume();
    bool sendStop();
    bool sendChangeAspectRatio();

    bool isServerConnected() const { return m_serverConnected; }
    bool isCastConnected() const { return m_castConnected; }
    bool isPlaying() const { return m_playing; }

signals:
    void serverConnected();
    void serverDisconnected();
    void castConnected();
    void castDisconnected();
    void castResumed();
    void castPaused();
    void error(QString errString);

protected:
    void run() override;

private slots:
    void connectToServer();
    void socketConnected();
    void socketDisconnected();
    void socketError();
    void socketReadyRead();
    void onSendData(QByteArray data);

private:
    bool send(const char* command);

    QString m_serverName;
    QLocalSocket* m_socket = nullptr;
    volatile bool m_serverConnected = false;
    volatile bool m_castConnected = false;
    volatile bool m_playing = false;
    SendDataBridge* m_bridge;
};
