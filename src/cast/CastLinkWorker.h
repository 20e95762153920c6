#pragma once

#include <QObject>

class QLocalSocket;

// The socket side of the link to the casting program. It lives on the link's thread and
// is the only thing that touches the socket; it tells its CastControllerClient what
// happened through signals, which reach the client queued on the client's thread.
class CastLinkWorker : public QObject {
    Q_OBJECT
public:
    enum class Status { CastConnected, CastDisconnected, CastResumed, CastPaused };
    Q_ENUM(Status)

    explicit CastLinkWorker(const QString& serverName);

public slots:
    void begin(); // on the link's thread, once it runs
    void send(const QByteArray& data);

signals:
    void serverConnected();
    void serverDisconnected();
    void status(CastLinkWorker::Status status);
    void error(const QString& errString);

private:
    // What a status line means; false for a line that means nothing. The line is
    // without its end (LF or CR LF); bytes from a NUL on are not part of it.
    static bool parseStatus(QByteArray line, Status* status);
    void connectToServer();
    void socketConnected();
    void socketDisconnected();
    void socketError();
    void socketReadyRead();

    QString m_serverName;
    QLocalSocket* m_socket = nullptr; // a child: it goes with this object
    bool m_connected = false;
};
