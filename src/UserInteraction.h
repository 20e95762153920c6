#pragma once

#include <QString>

// What the core needs from whoever talks to the user. The window implements it with
// dialogs, the command-line client on the terminal, tests with a stub. The core never
// shows anything itself.
class UserInteraction {
public:
    virtual ~UserInteraction();

    // A warning the user should see; must not block the caller.
    virtual void warning(const QString& title, const QString& text) = 0;

    // The installed implementation; a logging fallback while none is installed.
    static UserInteraction* current();
    // Installs (or, with nullptr, removes) the implementation. Not owned.
    static void install(UserInteraction* implementation);
};
