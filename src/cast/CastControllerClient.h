#pragma once

#include <QObject>
#include <QThread>

#include "cast/CastLinkWorker.h"

class SendDataBridge;

// The client's end of the local link to the casting program: status lines in, commands
// out. The object stays on the thread that made it, which is where its signals are
// emitted, its state changes and its commands are called; the socket lives on a thread
// of the link's own (CastLinkWorker), which talks to this object only through queued
// signals. So no state is shared between the two threads.
class CastControllerClient : public QObject {
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

    bool isRunning() const { return m_thread.isRunning(); }
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

private:
    void onServerConnected();
    void onServerDisconnected();
    void onStatus(CastLinkWorker::Status status);
    bool send(const char* command);

    QString m_serverName;
    QThread m_thread;
    SendDataBridge* m_bridge;
    bool m_serverConnected = false;
    bool m_castConnected = false;
    bool m_playing = false;
};
