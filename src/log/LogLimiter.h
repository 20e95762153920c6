#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Keeps the log readable and bounded whatever peers send. Every line is cut to
// MaxLineChars with its control characters escaped (a peer's text cannot fake lines or
// steer a terminal). Lines of one kind (the same level, class and leading words, digits
// aside) pass LinesPerWindow times per window; the rest are counted and summed up in
// one line when the window ends: "... 1,532 more like this in the last 10 s". Not
// thread-safe: its owner serialises the calls.
class LogLimiter {
public:
    static constexpr int MaxLineChars = 2000;
    static constexpr int LinesPerWindow = 10;
    static constexpr int MaxKinds = 100; // further kinds share one window
    static constexpr int KeyChars = 40;

    explicit LogLimiter(int windowMs);

    // The line as it is logged: control characters escaped, cut to MaxLineChars.
    static QString bounded(const QString& line);
    // The kind a (bounded) line counts under.
    static QString kindOf(const QString& line);

    // Whether `line` (bounded) is logged now; summaries of windows ended by nowMs are
    // appended to `summaries` first.
    bool admit(const QString& line, qint64 nowMs, QStringList* summaries);
    // The summaries of windows ended by nowMs, or of every window when `all`.
    QStringList takeSummaries(qint64 nowMs, bool all = false);
    // When the next summary is due, or -1 when none is pending.
    qint64 nextSummaryMs() const;

private:
    struct Window {
        qint64 startMs = 0;
        int passed = 0;
        qint64 counted = 0;
        QString first; // the window's first line, shortened, names the kind
    };
    QString summary(const Window& window, qint64 nowMs) const;

    int m_windowMs;
    QHash<QString, Window> m_windows;
    qint64 m_nextEndMs = -1; // the earliest end of any window
};
