#include "platform/WinUtils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRunnable>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>
#include <cstdio>

namespace {
const QString ExecKey = QStringLiteral("Exec=");

// Desktop-entry quoting: an argument with reserved characters goes in double quotes with
// ", `, $ and \ escaped.
QString quoteArgument(const QString& arg)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needsQuotes = arg.isEmpty();
    for (const QChar c : arg)
        needsQuotes = needsQuotes || reserved.contains(c);
    if (!needsQuotes)
        return arg;
    QString out = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    return out;
}

// Turns a stored Exec value back into "program arguments" with the program unquoted.
QString unquoteCommand(const QString& exec)
{
    if (!exec.startsWith(QLatin1Char('"')))
        return exec;
    QString program;
    int i = 1;
    for (; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
            program += exec.at(++i);
            continue;
        }
        if (c == QLatin1Char('"'))
            break;
        program += c;
    }
    return program + exec.mid(i + 1);
}
} // namespace

QString WinUtils::runEntryPath(const QString& name)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

QString WinUtils::runEntryCommand(const QString& name)
{
    QFile file(runEntryPath(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    QTextStream in(&file);
    in.setCodec("UTF-8");
    bool inMainGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('[')))
            inMainGroup = line == QLatin1String("[Desktop Entry]");
        else if (inMainGroup && line.startsWith(ExecKey))
            return unquoteCommand(line.mid(ExecKey.size()));
    }
    return QString();
}

bool WinUtils::addRunEntry(const QString& name, const QString& program, const QString& arguments)
{
    const QString path = runEntryPath(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qWarning("[W][%s] make autostart dir for %s fail.", "WinUtils", qUtf8Printable(path));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning("[W][%s] write %s fail: %s", "WinUtils", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        return false;
    }
    QByteArray content;
    content += "[Desktop Entry]\n";
    content += "Type=Application\n";
    content += "Name=" + name.toUtf8() + "\n";
    content += "Exec=" + (quoteArgument(program) + QLatin1Char(' ') + arguments).toUtf8() + "\n";
    content += "Terminal=false\n";
    content += "X-GNOME-Autostart-enabled=true\n";
    file.write(content);
    if (!file.commit()) {
        qWarning("[W][%s] write %s fail: %s", "WinUtils", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        return false;
    }
    return true;
}

bool WinUtils::removeRunEntry(const QString& name)
{
    QFile file(runEntryPath(name));
    if (!file.exists())
        return true;
    if (!file.remove()) {
        qWarning("[W][%s] remove %s fail: %s", "WinUtils", qUtf8Printable(file.fileName()),
            qUtf8Printable(file.errorString()));
        return false;
    }
    return true;
}

bool WinUtils::hasRunEntry(const QString& name, const QString& program)
{
    return runEntryCommand(name).left(program.size()) == program;
}

QString WinUtils::resolveProgram(const QString& file)
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

QString WinUtils::findProgram(const QString& file)
{
    const QString program = resolveProgram(file);
    const QFileInfo info(program);
    return info.isFile() && info.isExecutable() ? info.absoluteFilePath() : QString();
}

bool WinUtils::openExecuteFile(
    const QString& file, const QString& parameters, bool runAs, bool wait, QRunnable* callback, Exit* exit)
{
    return openExecuteFile(file, QProcess::splitCommand(parameters), runAs, wait, callback, exit);
}

bool WinUtils::openExecuteFile(const QString& file, QStringList arguments, bool runAs, bool wait, QRunnable* callback,
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
        qWarning("ShellExecuteEx %s %s fail.", file.toLocal8Bit().constData(), parameters.toLocal8Bit().constData());
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
