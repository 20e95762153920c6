#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

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

QString Autostart::entryPath(const QString& name)
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config + QStringLiteral("/autostart/") + name + QStringLiteral(".desktop");
}

QString Autostart::command(const QString& name)
{
    QFile file(entryPath(name));
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

bool Autostart::add(const QString& name, const QString& program, const QString& arguments)
{
    const QString path = entryPath(name);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        qWarning("[W][%s] make autostart dir for %s fail.", "Autostart", qUtf8Printable(path));
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qWarning("[W][%s] write %s fail: %s", "Autostart", qUtf8Printable(path), qUtf8Printable(file.errorString()));
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
        qWarning("[W][%s] write %s fail: %s", "Autostart", qUtf8Printable(path), qUtf8Printable(file.errorString()));
        return false;
    }
    return true;
}

bool Autostart::remove(const QString& name)
{
    QFile file(entryPath(name));
    if (!file.exists())
        return true;
    if (!file.remove()) {
        qWarning("[W][%s] remove %s fail: %s", "Autostart", qUtf8Printable(file.fileName()),
            qUtf8Printable(file.errorString()));
        return false;
    }
    return true;
}

bool Autostart::has(const QString& name, const QString& program)
{
    return command(name).left(program.size()) == program;
}
