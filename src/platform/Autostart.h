#pragma once

#include <QString>

// The start-with-the-session entry: a freedesktop autostart file named after the entry in
// $XDG_CONFIG_HOME/autostart/.
class Autostart {
public:
    static bool add(const QString& name, const QString& program, const QString& arguments);
    // An absent entry is no failure.
    static bool remove(const QString& name);
    // True when the entry's command, cut to the program's length, is the program.
    static bool has(const QString& name, const QString& program);

    // The entry's command line as "program arguments", empty when absent.
    static QString command(const QString& name);
    static QString entryPath(const QString& name);
};
