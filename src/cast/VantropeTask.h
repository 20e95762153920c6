#pragma once

#include <QHostAddress>

#include "quorvel/tasks/Task.h"
#include "json/QtJson.h"

class ClientSettings;
class QUdpSocket;

// Agrees a screen cast with a device (authentication, confirmation, password digest, cast
// parameters), then starts the casting program and waits until it exits. It asks the user
// through two signals that the caller connects with blocking queued connections; it must
// therefore never run on the thread that answers them. Its outcome fails when the cast
// was not agreed or the casting program could not be started or ended with an error.
class VantropeTask : public Task {
    Q_OBJECT
public:
    static constexpr int WrongPassword = -1002;
    static constexpr int NoErrorCode = -1000;
    static constexpr quint16 StreamPort = 7236;
    static constexpr quint16 TouchPort = 6000;

    // Publishes the casting program's local-server name right after it started.
    class RunCastCallback : public QRunnable {
    public:
        RunCastCallback(VantropeTask* task, const QString& serverName);
        void run() override;

    private:
        VantropeTask* m_task;
        QString m_serverName;
    };

    // settings: whether to confirm, and the stored passwords; it outlives the task.
    VantropeTask(ClientSettings& settings, const QHostAddress& address, quint16 port, const QString& deviceName,
        const QString& clientName, int sourceWidth, int sourceHeight);

    void setConfirmCastResult(bool confirmed);
    void setPassword(const QString& password);

    QString errString() const { return m_errString; }
    int errorCode() const { return m_errorCode; }

    // The casting program, started by bare name (application folder, then PATH). Tests
    // put a stand-in here.
    static QString programName();
    static void setProgramNameForTests(const QString& name);
    // "passwd": MD5 hex of (MD5 hex of the password) followed by the challenge.
    static QString passwordDigest(const QString& password, const QString& randomData);
    // Whether the cast reply's "ip" may go to the casting program: an IPv4 address, or a
    // host name of letters, digits, dots and dashes (not starting with a dash).
    static bool isCastAddress(const QString& ip);

signals:
    void waitForUserConfirmCast(QString quorvelName);
    void waitForUserInputPassword(QString defaultPassword, QString title, QString content);
    void onStarted();
    void onFinished();
    void castServerName(QString name);
    void errMsg(QString message);

protected:
    void execute() override;

private:
    bool getAuth(QUdpSocket& socket, QString& passwd);
    bool sendConfirm(QUdpSocket& socket);
    bool sendCancelConfirm(QUdpSocket& socket);
    bool sendCast(QUdpSocket& socket, QString& ip);
    bool launchCastProgram(const QString& ip);
    bool sendData(QUdpSocket& socket, const QtJson::JsonObject& object);
    bool receiveData(QUdpSocket& socket, QtJson::JsonObject& object);
    bool handleResponse(const QtJson::JsonObject& reply, QString& uuid);
    QtJson::JsonObject request(const char* type, const QString& passwd) const;
    // Logs the system's own line and keeps the reason the user reads.
    void error(const char* logText, const QString& reason);
    // Ends the task with the negotiation's error, as errMsg and as the outcome.
    void failWith(const QString& text);

    ClientSettings& m_settings;
    QHostAddress m_address;
    quint16 m_port;
    QString m_deviceName;
    QString m_clientName;
    int m_sourceWidth;
    int m_sourceHeight;
    bool m_confirmCastResult = false;
    QString m_password;
    QString m_errString;
    int m_errorCode = 0;
};
