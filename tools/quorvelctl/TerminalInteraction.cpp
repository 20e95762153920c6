#include "TerminalInteraction.h"

#include <QSocketNotifier>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

#include "CtlOutput.h"
#include "quorvel/tasks/TaskOutcome.h"

TerminalInteraction::TerminalInteraction(CtlOutput& out)
    : m_out(out)
{
}

TerminalInteraction::~TerminalInteraction()
{
    delete m_notifier;
}

void TerminalInteraction::warning(const QString& title, const QString& text)
{
    m_out.warning(title + QStringLiteral(": ") + text);
}

void TerminalInteraction::askAcceptOffer(
    const ServerContent& from, const QString& fileName, std::function<void(bool)> answer)
{
    if (m_inputEnded) {
        m_out.warning(QStringLiteral("declined \"%1\": standard input has ended").arg(fileName));
        answer(false);
        return;
    }
    fprintf(
        stderr, "%s offers \"%s\". Accept? [y/N] ", qUtf8Printable(TaskOutcome::who(from)), qUtf8Printable(fileName));
    fflush(stderr);
    m_waiting.append(std::move(answer));
    if (!m_notifier) {
        m_notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read);
        QObject::connect(m_notifier, &QSocketNotifier::activated, [this] { onInput(); });
    }
}

void TerminalInteraction::onInput()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        m_inputEnded = true;
        m_notifier->setEnabled(false);
        fputc('\n', stderr);
        m_out.warning(QStringLiteral("standard input has ended: declining what is offered from now on"));
        const auto waiting = m_waiting;
        m_waiting.clear();
        for (const auto& answer : waiting)
            answer(false);
        return;
    }
    m_typed.append(buffer, int(n));
    int newline;
    while ((newline = m_typed.indexOf('\n')) >= 0 && !m_waiting.isEmpty()) {
        const QByteArray typed = m_typed.left(newline).trimmed().toLower();
        m_typed.remove(0, newline + 1);
        const auto answer = m_waiting.takeFirst();
        answer(typed == "y" || typed == "yes");
    }
}

QString TerminalInteraction::readLine(bool echo)
{
    termios saved{};
    const bool terminal = isatty(STDIN_FILENO) == 1;
    if (!echo && terminal) {
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QByteArray line;
    char c = 0;
    ssize_t n = 0;
    while ((n = ::read(STDIN_FILENO, &c, 1)) == 1 && c != '\n')
        line.append(c);
    if (n <= 0 && line.isEmpty())
        m_inputEnded = true;
    if (!echo && terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        fputc('\n', stderr);
    }
    return QString::fromUtf8(line).trimmed();
}

bool TerminalInteraction::confirmCast(const QString& deviceName)
{
    fprintf(stderr, "Cast to \"%s\"? [y/N] ", qUtf8Printable(deviceName));
    fflush(stderr);
    const QString answer = readLine(true).toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

QString TerminalInteraction::askCastPassword(const QString&, const QString& title, const QString& content)
{
    fprintf(stderr, "%s: %s\nPassword: ", qUtf8Printable(title), qUtf8Printable(content));
    fflush(stderr);
    return readLine(false);
}
