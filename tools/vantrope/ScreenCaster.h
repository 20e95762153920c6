#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSize>

class QLocalServer;
class QLocalSocket;
class QTcpSocket;
class QTimer;

// Captures the primary screen and streams it to the device as JPEG frames, each behind a
// 4-byte big-endian length, over TCP port 7236. A local server (named after "-cs") takes
// the client's commands and reports the cast's state as CR LF lines.
class ScreenCaster : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 StreamPort = 7236;

    ScreenCaster(const QString& serverName, const QHostAddress& device, int framesPerSecond, QObject* parent = nullptr);
    bool start(QString* error);

private:
    void onCommand();
    void sendFrame();
    void status(const char* line);
    void finish(int code);

    QString m_serverName;
    QHostAddress m_device;
    QLocalServer* m_server = nullptr;
    QLocalSocket* m_link = nullptr;
    QTcpSocket* m_stream = nullptr;
    QTimer* m_timer = nullptr;
    bool m_paused = false;
    bool m_letterbox = false;
    QSize m_target;
    int m_frames = 0;
};
