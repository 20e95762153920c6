#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>

#include "quorvel/protocol/ServerContent.h"

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

    struct OfferedFile {
        ServerContent from;
        QString fileName;
    };
    // Several offers at once (those that came while the last question was open):
    // answer gets one yes or no per offer, in order, exactly once, on the main thread.
    // The fallback asks about each in turn with askAcceptOffer().
    virtual void askAcceptOffers(const QList<OfferedFile>& offers, std::function<void(QList<bool>)> answer);

    // A download would land on an existing file: Replace it, KeepBoth (the new one takes
    // the next free name, "NAME (1).ext") or Cancel the download. Blocks until the user
    // answered. The fallback keeps both.
    enum class ExistingFile { Replace, KeepBoth, Cancel };
    virtual ExistingFile askExistingFile(const QString& path);

    // Whether to cast to the device now; blocks until the user answered. The fallback
    // says no.
    virtual bool confirmCast(const QString& deviceName);

    // The device's cast password; blocks until the user answered. Empty when the user
    // gave none (the cast ends). The fallback gives none.
    virtual QString askCastPassword(const QString& defaultPassword, const QString& title, const QString& content);

    // Logs warnings and answers every question with its fallback: for programs with
    // nobody to ask.
    static UserInteraction& fallback();

private:
    struct OfferRound {
        QList<OfferedFile> offers;
        QList<bool> answers;
        std::function<void(QList<bool>)> done;
    };
    void askInTurn(const std::shared_ptr<OfferRound>& round);
};
