#pragma once

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
    // One progress report of a transfer; "(n of total)" when it is one of a batch.
    void progress(const ProgressContent& p, int n = 0, int total = 0);
    void finishProgress();

private:
    struct Transfer {
        int lastPercent = -2;
    };
    bool m_json;
    bool m_terminal;
    bool m_barOpen = false;
    QHash<int, Transfer> m_transfers;
};
