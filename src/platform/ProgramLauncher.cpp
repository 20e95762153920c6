#include "platform/ProgramLauncher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRunnable>
#include <QStandardPaths>
#include <cstdio>

QString ProgramLauncher::resolveProgram(const QString& file)
{
    if (file.contains(QLatin1Char('/')))
        return file;
    const QString local = QCoreApplication::applicationDirPath() + QLatin1Char('/') + file;
    if (QFileInfo(local).isFile())
        return local;
    // Installed: the programs the client starts live in its library folder.
    const QString installed = QDir::cleanPath(QCoreApplication::applicationDirPath() + QLatin1Char('/')
        + QStringLiteral(QUORVEL_LIBEXEC_RELATIVE) + QLatin1Char('/') + file);
    if (QFileInfo(installed).isFile())
        return installed;
    const QString inPath = QStandardPaths::findExecutable(file);
    return inPath.isEmpty() ? file : inPath;
}

QString ProgramLauncher::findProgram(const QString& file)
{
    const QString program = resolveProgram(file);
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

bool ProgramLauncher::launch(
    const QString& file, const QString& parameters, bool runAs, bool wait, QRunnable* callback, Exit* exit)
{
    return launch(file, QProcess::splitCommand(parameters), runAs, wait, callback, exit);
}

bool ProgramLauncher::launch(const QString& file, QStringList arguments, bool runAs, bool wait, QRunnable* callback,
    Exit* exit, const std::function<bool()>& stop)
{
    QString program = resolveProgram(file);
    const QString parameters = arguments.join(QLatin1Char(' '));
    const QFileInfo info(program);
    if (info.isFile() && !info.isExecutable()) {
        // A document: its associated program opens it.
        arguments = QStringList{program};
        program = QStringLiteral("xdg-open");
    }
    if (runAs) {
        arguments.prepend(program);
        program = QStringLiteral("pkexec");
    }

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(exit ? QProcess::ForwardedOutputChannel : QProcess::ForwardedChannels);
    // Passed on as it comes; the last line is kept to tell why the program ended.
    QByteArray errorTail;
    if (exit) {
        QObject::connect(&process, &QProcess::readyReadStandardError, [&process, &errorTail] {
            const QByteArray chunk = process.readAllStandardError();
            fwrite(chunk.constData(), 1, size_t(chunk.size()), stderr);
            errorTail = (errorTail + chunk).right(4096);
        });
    }
    qint64 pid = 0;
    bool started = false;
    if (wait) {
        process.start();
        started = process.waitForStarted(-1);
    } else {
        started = process.startDetached(&pid);
    }
    if (!started) {
        qWarning("[W][%s] start %s %s fail.", "ProgramLauncher", qUtf8Printable(file), qUtf8Printable(parameters));
        return false;
    }
    if (callback) {
        callback->run();
    }
    if (wait) {
        if (stop) {
            constexpr int StepMs = 20;
            while (!process.waitForFinished(StepMs) && process.state() != QProcess::NotRunning) {
                if (!stop())
                    continue;
                // Asked to end by its own channel already: a moment to do so, then less
                // gently. The caller's quit must not hang on a program that ignores it.
                if (!process.waitForFinished(StopGraceMs)) {
                    process.terminate();
                    if (!process.waitForFinished(StopGraceMs)) {
                        process.kill();
                        process.waitForFinished(StopGraceMs);
                    }
                }
                break;
            }
        } else {
            process.waitForFinished(-1);
        }
        if (exit) {
            const QByteArray rest = process.readAllStandardError();
            fwrite(rest.constData(), 1, size_t(rest.size()), stderr);
            errorTail = (errorTail + rest).trimmed();
            exit->crashed = process.exitStatus() == QProcess::CrashExit;
            exit->code = process.exitCode();
            exit->lastError = QString::fromLocal8Bit(errorTail.mid(errorTail.lastIndexOf('\n') + 1));
        }
    }
    return true;
}
