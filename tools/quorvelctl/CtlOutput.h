#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QJsonObject>
#include <QString>

#include "ProgressContent.h"

// What the command-line client prints: results on standard output (text, or one JSON
// object per line with --json), failures on standard error, and progress bars on
// standard error while a transfer runs on a terminal.
class CtlOutput {
public:
    explicit CtlOutput(bool json);

    bool json() const { return m_json; }
    void line(const QString& text);
    void object(const QJsonObject& object);
    void error(const QString& text);
    // One progress report of a transfer of the given size (bytes, -1 when unknown).
    void progress(const ProgressContent& p, qint64 size);
    void finishProgress();

private:
    struct Transfer {
        QElapsedTimer started;
        int lastPercent = -2;
    };
    bool m_json;
    bool m_terminal;
    bool m_barOpen = false;
    QHash<int, Transfer> m_transfers;
};
