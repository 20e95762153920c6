#pragma once

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// A copy of the client (launcher and library) in a folder of its own, as a user would
// install it: its application folder, log and settings are this folder's. Tests that
// run only the command-line client copy only that.
class ClientFolder {
public:
    enum Programs { Everything, CommandLineOnly };
    explicit ClientFolder(Programs programs = Everything)
    {
        const QString bin = QStringLiteral(QUORVEL_BIN_DIR);
        m_ok = m_dir.isValid() && QFile::copy(bin + "/quorvelctl", ctlProgram());
        if (programs == Everything)
            m_ok = m_ok && QFile::copy(bin + "/quorvel", path() + "/quorvel")
                && QFile::copy(bin + "/libQuorvelClient.so", path() + "/libQuorvelClient.so")
                && QFile::copy(bin + "/Vantrope", path() + "/Vantrope");
    }
    ~ClientFolder()
    {
        for (QProcess* p : qAsConst(m_processes)) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
            delete p;
        }
    }

    bool isValid() const { return m_ok; }
    QString path() const { return m_dir.path(); }
    QString program() const { return path() + "/quorvel"; }
    QString ctlProgram() const { return path() + "/quorvelctl"; }
    // The folder "inbox" made the client's DownloadPath; the files in it, hidden ones too.
    QString inbox() const { return path() + "/inbox"; }
    bool makeInbox() const { return QDir().mkpath(inbox()) && ctl({"config", "set", "DownloadPath", inbox()}) == 0; }
    QStringList inboxFiles() const { return QDir(inbox()).entryList(QDir::Files | QDir::Hidden, QDir::Name); }

    QProcess* start(const QStringList& arguments = {}) { return startWith(program(), arguments); }
    // Starts program (the launcher as another path names it, or a wrapper such as
    // setpriv) in workingDirectory with this folder's environment and env's additions.
    QProcess* startWith(const QString& program, const QStringList& arguments,
        const QString& workingDirectory = QDir::tempPath(), const QHash<QString, QString>& env = {})
    {
        auto* process = new QProcess;
        QProcessEnvironment environment = this->environment();
        for (auto it = env.begin(); it != env.end(); ++it)
            environment.insert(it.key(), it.value());
        process->setProcessEnvironment(environment);
        process->setWorkingDirectory(workingDirectory);
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->start(program, arguments);
        m_processes.append(process);
        return process;
    }

    // Where ctl() runs the command-line client (the temporary folder by default); env
    // changes its environment.
    void setWorkingDirectory(const QString& folder) { m_workingDirectory = folder; }
    void setEnvironment(const QString& name, const QString& value) { m_environment.insert(name, value); }

    // Runs the command-line client of this folder to its end; its exit code.
    int ctl(
        const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr, int timeoutMs = 60000) const
    {
        QProcess p;
        p.setProcessEnvironment(environment());
        p.setWorkingDirectory(m_workingDirectory);
        p.start(ctlProgram(), arguments);
        if (!p.waitForFinished(timeoutMs)) {
            qWarning("quorvelctl %s did not finish: %s", qPrintable(arguments.join(' ')), qPrintable(p.errorString()));
            p.kill();
            p.waitForFinished(3000);
            return -1;
        }
        if (out)
            *out = p.readAllStandardOutput();
        if (err)
            *err = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QStringList logFiles() const
    {
        return QDir(path() + "/log").entryList({"QuorvelClient-*.log"}, QDir::Files, QDir::Name);
    }

    QByteArray log(int index) const
    {
        const QStringList files = logFiles();
        if (index < 0)
            index += files.size();
        if (index < 0 || index >= files.size())
            return QByteArray();
        QFile file(path() + "/log/" + files.at(index));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Waits, with a bound, until the index-th log file holds needle count times.
    bool waitForLog(int index, const QByteArray& needle, int count = 1, int timeoutMs = 10000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            if (log(index).count(needle) >= count)
                return true;
            QTest::qWait(25);
        }
        return log(index).count(needle) >= count;
    }

    bool waitForLogFiles(int count, int timeoutMs = 10000) const
    {
        QDeadlineTimer deadline(timeoutMs);
        while (logFiles().size() < count && !deadline.hasExpired())
            QTest::qWait(25);
        return logFiles().size() >= count;
    }

    // This folder's settings, and what setEnvironment() added.
    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", path() + "/xdg-config");
        for (const QString& name : m_environment.keys())
            env.insert(name, m_environment.value(name));
        return env;
    }

private:
    QTemporaryDir m_dir;
    QString m_workingDirectory = QDir::tempPath();
    QHash<QString, QString> m_environment;
    bool m_ok = false;
    QList<QProcess*> m_processes;
};
