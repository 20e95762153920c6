#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "quorvel/protocol/ServerContent.h"
#include "json/QtJson.h"

// A running quorvel-device for a test: its own folder, its own wire log, and a way to
// wait on what it logged.
class DeviceProcess {
public:
    explicit DeviceProcess(const QStringList& arguments, const QStringList& prefix = {})
    {
        m_folder = m_dir.path() + "/served";
        m_logPath = m_dir.path() + "/wire.jsonl";
        QStringList args = arguments;
        if (!args.contains("--folder"))
            args << "--folder" << m_folder;
        args << "--log" << m_logPath;
        const QString program = QStringLiteral(QUORVEL_BIN_DIR) + "/quorvel-device";
        if (prefix.isEmpty()) {
            m_process.start(program, args);
        } else {
            m_process.start(prefix.first(), prefix.mid(1) + QStringList{program} + args);
        }
        m_ready = waitForOutput("ready");
    }
    ~DeviceProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000)) {
                m_process.kill();
                m_process.waitForFinished(3000);
            }
        }
    }

    bool isReady() const { return m_ready; }
    QString folder() const { return m_folder; }
    QString secureFolder() const { return m_folder + "/.secure"; }
    QString output() const { return QString::fromUtf8(m_output); }
    QProcess& process() { return m_process; }

    void command(const QByteArray& line)
    {
        m_process.write(line + "\n");
        m_process.waitForBytesWritten(3000);
    }

    bool waitForOutput(const QByteArray& needle, int timeoutMs = 10000)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_output.contains(needle) && !deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(50);
            m_output += m_process.readAllStandardOutput();
        }
        m_output += m_process.readAllStandardOutput();
        return m_output.contains(needle);
    }

    // The wire log's lines whose key has the value, e.g. ("event", "shown").
    QList<QJsonObject> logWhere(const QString& key, const QString& value) const
    {
        QList<QJsonObject> out;
        QFile file(m_logPath);
        const QList<QByteArray> lines
            = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
        for (const QByteArray& line : lines) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (!line.isEmpty() && o.value(key).toString() == value)
                out.append(o);
        }
        return out;
    }

    // The requests the device received, parsed: all, or those of one type, or those that
    // came to one of its ports.
    QList<QVariantMap> requests(const QString& type = QString(), int localPort = 0) const
    {
        QList<QVariantMap> out;
        for (const QJsonObject& line : logWhere("dir", "in")) {
            const QVariantMap request = QtJson::parseObject(line.value("payload").toString().toUtf8());
            if ((type.isEmpty() || request.value("type").toString() == type)
                && (localPort == 0 || line.value("local_port").toInt() == localPort))
                out.append(request);
        }
        return out;
    }

    // The record a test hands to the client's tasks for the device at this address.
    static ServerContent serverAt(const QString& address)
    {
        ServerContent s;
        s.address = QHostAddress(address);
        s.uuid = "uuid-" + address;
        return s;
    }

    // Waits, with a bound, for a log line whose key has the value.
    QJsonObject waitForLog(const QString& key, const QString& value, int timeoutMs = 10000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        for (;;) {
            const QList<QJsonObject> found = logWhere(key, value);
            if (!found.isEmpty())
                return found.last();
            if (deadline.hasExpired())
                return QJsonObject();
            QTest::qWait(20);
        }
    }

private:
    QTemporaryDir m_dir;
    QString m_folder;
    QString m_logPath;
    QProcess m_process;
    QByteArray m_output;
    bool m_ready = false;
};

// Starts `name`, a DeviceProcess of the given arguments, and fails the test with what the
// device printed when it does not come up.
#define QUORVEL_DEVICE(name, ...)                                                                                      \
    DeviceProcess name(__VA_ARGS__);                                                                                   \
    QVERIFY2(name.isReady(), qPrintable(name.output()))
