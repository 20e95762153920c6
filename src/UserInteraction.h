#pragma once

#include <QString>
#include <functional>

class ServerContent;

// What the core needs from whoever talks to the user. The window implements it with
// dialogs, the command-line client on the terminal, tests with a stub. The core never
// shows anything itself. Every call comes on the application's main thread, except
// warning(), which may come from any thread.
class UserInteraction {
public:
    virtual ~UserInteraction();

    // A warning the user should see; must not block the caller.
    virtual void warning(const QString& title, const QString& text) = 0;

    // Another party offers a file. answer(true) takes it, answer(false) declines; it is
    // called exactly once, at once or later, on the main thread. The fallback declines.
    virtual void askAcceptOffer(const ServerContent& from, const QString& fileName, std::function<void(bool)> answer);

    // Whether to cast to the device now; blocks until the user answered. The fallback
    // says no.
    virtual bool confirmCast(const QString& deviceName);

    // The device's cast password; blocks until the user answered. Empty when the user
    // gave none (the cast ends). The fallback gives none.
    virtual QString askCastPassword(const QString& defaultPassword, const QString& title, const QString& content);

    // The installed implementation; a logging fallback while none is installed.
    static UserInteraction* current();
    // Installs (or, with nullptr, removes) the implementation. Not owned.
    static void install(UserInteraction* implementation);
};
