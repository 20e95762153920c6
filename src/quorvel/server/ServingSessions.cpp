#include "quorvel/server/ServingSessions.h"

#include <QMap>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>
#include <QTcpServer>

#include "quorvel/server/DownloadServer.h"
#include "quorvel/server/OfferedFiles.h"

namespace {
QMutex g_lock;
uint g_nextSession = ServingSessions::FirstSession;
quint16 g_nextPort = ServingSessions::FirstPort;
QMap<uint, QString> g_results;
QSet<uint> g_confirmed;
QMap<uint, QString> g_parties;
QSet<DownloadServer*> g_running;
bool g_stopping = false;
} // namespace

std::unique_ptr<QTcpServer> ServingSessions::allocate(uint* session)
{
    QMutexLocker lock(&g_lock);
    *session = g_nextSession++;
    // A port another program holds would leave the fetching party talking to that
    // program: skip it, and say so.
    for (int tries = 0; tries < 1000; ++tries) {
        const quint16 candidate = g_nextPort++;
        if (g_nextPort == 0)
            g_nextPort = FirstPort;
        auto listener = std::make_unique<QTcpServer>();
        if (listener->listen(QHostAddress::Any, candidate))
            return listener;
        qWarning("[W][%s] Port %d is taken, trying the next.", "ReplyOperate", candidate);
    }
    return nullptr;
}

void ServingSessions::setResult(uint session, const QString& status)
{
    QMutexLocker lock(&g_lock);
    g_results.insert(session, status);
}

void ServingSessions::completeIfKnown(uint session, const QString& md5)
{
    QMutexLocker lock(&g_lock);
    if (g_results.contains(session))
        g_results.insert(session, md5);
}

void ServingSessions::setParty(uint session, const QHostAddress& party)
{
    const QString key = OfferedFiles::key(party);
    QMutexLocker lock(&g_lock);
    g_parties.insert(session, key);
}

QString ServingSessions::resultFor(uint session, const QHostAddress& asker, bool* found)
{
    const QString key = OfferedFiles::key(asker);
    QMutexLocker lock(&g_lock);
    *found = g_results.contains(session) && g_parties.value(session) == key;
    return *found ? g_results.value(session) : QString();
}

bool ServingSessions::enroll(DownloadServer* server)
{
    QMutexLocker lock(&g_lock);
    if (g_stopping)
        return false;
    g_running.insert(server);
    return true;
}

void ServingSessions::leave(DownloadServer* server)
{
    QMutexLocker lock(&g_lock);
    g_running.remove(server);
}

void ServingSessions::stopAll()
{
    QMutexLocker lock(&g_lock);
    g_stopping = true;
    for (DownloadServer* server : qAsConst(g_running))
        server->stop();
}

QString ServingSessions::result(uint session, bool* found)
{
    QMutexLocker lock(&g_lock);
    *found = g_results.contains(session);
    return g_results.value(session);
}

void ServingSessions::markConfirmed(uint session)
{
    QMutexLocker lock(&g_lock);
    g_confirmed.insert(session);
}

bool ServingSessions::isConfirmed(uint session)
{
    QMutexLocker lock(&g_lock);
    return g_confirmed.contains(session);
}

void ServingSessions::resetForTests()
{
    QMutexLocker lock(&g_lock);
    g_confirmed.clear();
    g_parties.clear();
    g_stopping = false;
    g_nextSession = FirstSession;
    g_nextPort = FirstPort;
    g_results.clear();
}
