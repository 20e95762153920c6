#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include "quorvel/protocol/ServerContent.h"
#include "quorvel/tasks/ProgressContent.h"

// What the command-line client prints: results on standard output (text, or one JSON
// object per line with --json, in the shapes the README's "quorvelctl --json events"
// lists), failures and warnings on standard error, and progress bars on standard error
// while a transfer runs on a terminal. Every write to standard output is checked: once
// one fails (a full disk, a closed pipe) the command is to stop and exit with 1.
class CtlOutput {
public:
    explicit CtlOutput(bool json);

    bool json() const { return m_json; }
    bool terminal() const { return m_terminal; }
    // The command the events are about ("ls", "devices-add"): no spaces.
    void setCommand(const QString& command) { m_command = command; }
    QString command() const { return m_command; }

    void line(const QString& text);
    // Text as it is (help texts), on standard output.
    void text(const QString& text);
    // One event: {"event": name, ...fields}.
    void event(const QString& name, QJsonObject fields);
    // A command's end for one item: the "result" event, with both paths always present.
    void result(
        bool ok, const QString& device = QString(), const QString& file = QString(), const QString& remote = QString());
    // A failure: on standard error, and as an "error" event with --json.
    void error(const QString& message, const QString& reason = QString());
    // Something wrong that is no failure (the exit status stays): on standard error, and
    // as a "warning" event with --json.
    void warning(const QString& message);
    // A notice for the person at the terminal (standard error), never an event.
    void notice(const QString& text);
    // One progress report of a transfer; "file n of total" when it is one of a batch.
    void progress(const ProgressContent& p, int n = 1, int total = 1);
    void finishProgress();

    // A write to standard output failed (said once on standard error): why, else empty.
    QString writeFailure() const { return m_writeFailure; }
    // Flushes what is left and tells whether everything reached standard output.
    bool close();

    // The one "device" event shape, for discovery and hand-added devices alike.
    static QJsonObject deviceJson(const ServerContent& s, const QString& foundBy);
    // "device" or "client", the way a party says what it is; empty when it has not said.
    static QString kindOf(const ServerContent& s);
    // "ADDRESS:PORT", the way a device is named in every event and listing.
    static QString where(const ServerContent& s);
    // Control characters of a name as visible escapes, so one entry stays one line.
    static QString escaped(const QString& text);

private:
    void write(const QByteArray& bytes);
    // The speed to show: the transfer's own once it has settled, else at its end the
    // average since its first report here (a fast transfer ends before it settles).
    double speedOf(const ProgressContent& p);

    struct Start {
        QElapsedTimer clock;
        qint64 bytes = 0;
        double last = -1;
    };
    bool m_json;
    bool m_terminal;
    bool m_barOpen = false;
    QString m_command;
    QString m_writeFailure;
    QHash<int, int> m_lastPercent;
    QHash<int, Start> m_started;
};
