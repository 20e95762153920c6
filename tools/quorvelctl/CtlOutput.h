#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>

#include "ProgressContent.h"
#include "ServerContent.h"

// What the command-line client prints: results on standard output (text, or one JSON
// object per line with --json, in the shapes the README's "quorvelctl --json events"
// lists), failures on standard error, and progress bars on standard error while a
// transfer runs on a terminal.
class CtlOutput {
public:
    explicit CtlOutput(bool json);

    bool json() const { return m_json; }
    bool terminal() const { return m_terminal; }
    // The command the events are about ("ls", "devices-add"): no spaces.
    void setCommand(const QString& command) { m_command = command; }
    QString command() const { return m_command; }

    void line(const QString& text);
    // One event: {"event": name, ...fields}.
    void event(const QString& name, QJsonObject fields);
    // A command's end for one item: the "result" event, with both paths always present.
    void result(
        bool ok, const QString& device = QString(), const QString& file = QString(), const QString& remote = QString());
    // A failure: on standard error, and as an "error" event with --json.
    void error(const QString& message, const QString& reason = QString());
    // Something went wrong beside the command's work, which stands (its exit status is
    // unchanged): on standard error, and as a "warning" event with --json.
    void warning(const QString& message);
    // A notice for the person at the terminal (standard error), never an event.
    void notice(const QString& text);
    // One progress report of a transfer; "file n of total" when it is one of a batch.
    void progress(const ProgressContent& p, int n = 1, int total = 1);
    void finishProgress();

    // The one "device" event shape, for discovery and hand-added devices alike.
    static QJsonObject deviceJson(const ServerContent& s, const QString& foundBy);
    // "ADDRESS:PORT", the way a device is named in every event and listing.
    static QString where(const ServerContent& s);
    // Control characters of a name as visible escapes, so one entry stays one line.
    static QString escaped(const QString& text);

private:
    bool m_json;
    bool m_terminal;
    bool m_barOpen = false;
    QString m_command;
    QHash<int, int> m_lastPercent;
};
