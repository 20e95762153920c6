#pragma once

#include <QHostAddress>
#include <QMap>
#include <QMutex>
#include <QSet>
#include <QString>
#include <memory>

class DownloadServer;
class QTcpServer;

// The sessions of files this client serves: distinct session numbers and ports for every
// accepted fetch, and how each transfer ended ("not_complete", then the MD5 sent). Made
// once by the application context and handed to whoever serves; reached from the pool
// threads that answer requests and serve, so every call takes the lock.
class ServingSessions {
public:
    static constexpr uint FirstSession = 1717986918; // 0x66666666
    static constexpr quint16 FirstPort = 20000;

    ServingSessions() = default;
    ServingSessions(const ServingSessions&) = delete;
    ServingSessions& operator=(const ServingSessions&) = delete;

    // Takes the next session number and a listener on the next port, counting up from
    // FirstPort, that it could bind. The port stays held from here on: nobody can take it
    // before the party connects, and no other session gets it. The listener lives on the
    // calling thread, which is the one that must serve with it. Null when no port is free.
    std::unique_ptr<QTcpServer> allocate(uint* session);
    void setResult(uint session, const QString& status);
    // The session belongs to the party that asked for it: only that address learns how
    // it ended (found is false for everybody else, as for an unknown session).
    void setParty(uint session, const QHostAddress& party);
    QString resultFor(uint session, const QHostAddress& asker, bool* found) const;
    // Sets the result only when the session is known.
    void completeIfKnown(uint session, const QString& md5);
    // The party was told its copy is right.
    void markConfirmed(uint session);
    bool isConfirmed(uint session) const;

    // The serving tasks that run, so that they can all be stopped at once (the program
    // ends): each stops within a fraction of a second, whatever its party does. Serving
    // tasks that start after stopAll() end at once.
    bool enroll(DownloadServer* server);
    void leave(DownloadServer* server);
    void stopAll();

private:
    mutable QMutex m_lock;
    uint m_nextSession = FirstSession;
    quint16 m_nextPort = FirstPort;
    QMap<uint, QString> m_results;
    QSet<uint> m_confirmed;
    QMap<uint, QString> m_parties;
    QSet<DownloadServer*> m_running;
    bool m_stopping = false;
};
