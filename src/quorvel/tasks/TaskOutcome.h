#pragma once

#include <QMetaType>
#include <QString>

class ServerContent;

// How a task ended: whether it worked, why not in words a person can read, and the
// device's own reason when it gave one. Front ends show these; they never parse logs.
struct TaskOutcome {
    bool ok = false;
    QString reason;
    QString deviceReason;
    // Ended because it was asked to (stopped, or a person declined a question): nothing
    // went wrong, so there is no error to show.
    bool stopped = false;

    static TaskOutcome success() { return TaskOutcome{true, QString(), QString()}; }
    // The device's words are a peer's: bounded by peerText().
    static TaskOutcome failure(const QString& reason, const QString& deviceReason = QString());
    static TaskOutcome stoppedBecause(const QString& reason) { return TaskOutcome{false, reason, QString(), true}; }
    // The reason followed by the device's words: "the device refused the file: disk full".
    QString text() const;

    // Reasons that several tasks give, naming the party they talked to.
    static QString who(const ServerContent& party);
    static QString noAnswer(const ServerContent& party, int waitedMs);
    static QString badReply(const ServerContent& party);
    // A peer's text fit for a reason or a log line: control characters escaped, cut after
    // `max` characters (then ending in "...").
    static QString peerText(const QString& text, int max = MaxPeerChars);
    static constexpr int MaxPeerChars = 200;
};

Q_DECLARE_METATYPE(TaskOutcome)
