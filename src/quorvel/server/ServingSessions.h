#pragma once

#include <QHostAddress>
#include <QString>
#include <memory>

class DownloadServer;
class QTcpServer;

// The sessions of files this client serves: distinct session numbers and ports for every
// accepted fetch, and how each transfer ended ("not_complete", then the MD5 sent).
class ServingSessions {
public:
    static constexpr uint FirstSession = 1717986918; // 0x66666666
    static constexpr quint16 FirstPort = 20000;

    // Takes the next session number and a listener on the next port, counting up from
    // FirstPort, that it could bind. The port stays held from here on: nobody can take it
    // before the party connects, and no other session gets it. The listener lives on the
    // calling thread, which is the one that must serve with it. Null when no port is free.
    static std::unique_ptr<QTcpServer> allocate(uint* session);
    static void setResult(uint session, const QString& status);
    // The session belongs to the party that asked for it: only that address learns how
    // it ended (found is false for everybody else, as for an unknown session).
    static void setParty(uint session, const QHostAddress& party);
    static QString resultFor(uint session, const QHostAddress& asker, bool* found);
    // Sets the result only when the session is known.
    static void completeIfKnown(uint session, const QString& md5);
    static QString result(uint session, bool* found);
    // The party was told its copy is right.
    static void markConfirmed(uint session);
    static bool isConfirmed(uint session);

    // The serving tasks that run, so that they can all be stopped at once (the program
    // ends): each stops within a fraction of a second, whatever its party does. Serving
    // tasks that start after stopAll() end at once.
    static bool enroll(DownloadServer* server);
    static void leave(DownloadServer* server);
    static void stopAll();

    static void resetForTests();
};
