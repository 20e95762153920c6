#pragma once

#include <QString>
#include <QVariant>

// What each setting accepts, checked before it is stored, the same for the settings
// dialog and the command line: booleans, a shortcut that parses as one key combination,
// a download folder that exists and can be written, a client name that is not empty.
class ConfigCheck {
public:
    // The reason a value is refused, for a person; empty when it is fine. Text values of
    // booleans are taken as typed (true/false, 1/0, yes/no, on/off).
    static QString problem(int type, const QVariant& value);
    // The value to store from typed text: a bool for the boolean settings, the text
    // otherwise; invalid (and *reason) when refused.
    static QVariant fromText(int type, const QString& text, QString* reason);
    // What a setting means and what it takes, one line.
    static QString describe(int type);

    // One key with its modifiers in the portable text format ("F11", "Ctrl+Alt+C").
    static bool isKeyCombination(const QString& text);

private:
    static bool parseBool(const QString& text, bool* value);
};
