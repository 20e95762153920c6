#include "log/LogLimiter.h"

#include <QLocale>

namespace {
const QString OtherKinds = QStringLiteral("[W][CustomMsgHandler] Log lines of too many kinds");
constexpr int SummaryExampleChars = 200;

bool needsEscape(ushort c)
{
    if (c == '\n' || c == '\t')
        return false; // the file indents continuation lines, so they cannot pose as entries
    return c < 0x20 || (c >= 0x7f && c < 0xa0) || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}
} // namespace

LogLimiter::LogLimiter(int windowMs)
    : m_windowMs(qMax(1, windowMs))
{
}

QString LogLimiter::bounded(const QString& line)
{
    QString out;
    const QChar* d = line.constData();
    const int n = line.size();
    int i = 0;
    for (; i < n && out.size() < MaxLineChars; ++i) {
        const ushort c = d[i].unicode();
        if (!needsEscape(c)) {
            out.append(d[i]);
            continue;
        }
        if (c < 0x100)
            out.append(QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0')));
        else
            out.append(QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0')));
    }
    if (i == n && out.size() <= MaxLineChars)
        return out;
    int keep = MaxLineChars;
    if (out.at(keep - 1).isHighSurrogate())
        --keep;
    const int droppedSource = n - i + (out.size() - keep);
    out.truncate(keep);
    return out + QStringLiteral(" [... %1 more characters]").arg(QLocale(QLocale::English).toString(droppedSource));
}

QString LogLimiter::kindOf(const QString& line)
{
    // "[E][Class] " and then the leading words, every run of digits as one "#".
    int start = 0;
    if (line.size() > 4 && line.at(0) == QLatin1Char('[') && line.at(2) == QLatin1Char(']')
        && line.at(3) == QLatin1Char('[')) {
        const int close = line.indexOf(QLatin1Char(']'), 4);
        if (close > 0 && close < 4 + 64)
            start = close + 1;
        if (start > 0 && start < line.size() && line.at(start) == QLatin1Char(' '))
            ++start;
    }
    QString kind = line.left(start);
    int kept = 0;
    for (int i = start; i < line.size() && kept < KeyChars; ++i, ++kept) {
        if (line.at(i).isDigit()) {
            while (i + 1 < line.size() && line.at(i + 1).isDigit())
                ++i;
            kind.append(QLatin1Char('#'));
        } else {
            kind.append(line.at(i));
        }
    }
    return kind;
}

bool LogLimiter::admit(const QString& line, qint64 nowMs, QStringList* summaries)
{
    if (m_nextEndMs >= 0 && nowMs >= m_nextEndMs)
        summaries->append(takeSummaries(nowMs));
    QString kind = kindOf(line);
    auto it = m_windows.find(kind);
    if (it == m_windows.end()) {
        if (m_windows.size() >= MaxKinds) {
            kind = OtherKinds;
            it = m_windows.find(kind);
        }
        if (it == m_windows.end()) {
            Window window;
            window.startMs = nowMs;
            window.first = kind == OtherKinds ? OtherKinds : line.left(SummaryExampleChars);
            it = m_windows.insert(kind, window);
            const qint64 end = nowMs + m_windowMs;
            if (m_nextEndMs < 0 || end < m_nextEndMs)
                m_nextEndMs = end;
        }
    }
    if (it->passed < LinesPerWindow && kind != OtherKinds) {
        ++it->passed;
        return true;
    }
    ++it->counted;
    return false;
}

QString LogLimiter::summary(const Window& window, qint64 nowMs) const
{
    const qint64 spanMs = qBound<qint64>(1, nowMs - window.startMs, m_windowMs);
    const qint64 seconds = (spanMs + 999) / 1000;
    return QStringLiteral("%1 ... %2 more like this in the last %3 s")
        .arg(window.first, QLocale(QLocale::English).toString(window.counted))
        .arg(seconds);
}

QStringList LogLimiter::takeSummaries(qint64 nowMs, bool all)
{
    QStringList out;
    m_nextEndMs = -1;
    for (auto it = m_windows.begin(); it != m_windows.end();) {
        const qint64 end = it->startMs + m_windowMs;
        if (all || nowMs >= end) {
            if (it->counted > 0)
                out.append(summary(*it, nowMs));
            it = m_windows.erase(it);
            continue;
        }
        if (m_nextEndMs < 0 || end < m_nextEndMs)
            m_nextEndMs = end;
        ++it;
    }
    return out;
}

qint64 LogLimiter::nextSummaryMs() const
{
    qint64 next = -1;
    for (const Window& window : m_windows) {
        if (window.counted > 0 && (next < 0 || window.startMs + m_windowMs < next))
            next = window.startMs + m_windowMs;
    }
    return next;
}
