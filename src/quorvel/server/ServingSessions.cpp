#include "quorvel/server/ServingSessions.h"

#include <QMutexLocker>
#include <QTcpServer>

#include "quorvel/server/DownloadServer.h"
#include "quorvel/server/OfferedFiles.h"

std::unique_ptr<QTcpServer> ServingSessions::allocate(uint* session)
{
    QMutexLocker lock(&m_lock);
    *session = m_nextSession++;
    // A port another program holds would leave the fetching party talking to that
    // program: skip it, and say so.
    for (int tries = 0; tries < 1000; ++tries) {
        const quint16 candidate = m_nextPort++;
        if (m_nextPort == 0)
            m_nextPort = FirstPort;
        auto listener = std::make_unique<QTcpServer>();
        if (listener->listen(QHostAddress::Any, candidate))
            return listener;
        qWarning("[W][%s] Port %d is taken, trying the next.", "ReplyOperate", candidate);
    }
    return nullptr;
}

void ServingSessions::setResult(uint session, const QString& status)
{
    QMutexLocker lock(&m_lock);
    m_results.insert(session, status);
}

void ServingSessions::completeIfKnown(uint session, const QString& md5)
{
    QMutexLocker lock(&m_lock);
    if (m_results.contains(session))
        m_results.insert(session, md5);
}

void ServingSessions::setParty(uint session, const QHostAddress& party)
{
    const QString key = OfferedFiles::key(party);
    QMutexLocker lock(&m_lock);
    m_parties.insert(session, key);
}

QString ServingSessions::resultFor(uint session, const QHostAddress& asker, bool* found) const
{
    const QString key = OfferedFiles::key(asker);
    QMutexLocker lock(&m_lock);
    *found = m_results.contains(session) && m_parties.value(session) == key;
    return *found ? m_results.value(session) : QString();
}

bool ServingSessions::enroll(DownloadServer* server)
{
    QMutexLocker lock(&m_lock);
    if (m_stopping)
        return false;
    m_running.insert(server);
    return true;
}

void ServingSessions::leave(DownloadServer* server)
{
    QMutexLocker lock(&m_lock);
    m_running.remove(server);
}

void ServingSessions::stopAll()
{
    QMutexLocker lock(&m_lock);
    m_stopping = true;
    for (DownloadServer* server : qAsConst(m_running))
        server->stop();
}

void ServingSessions::markConfirmed(uint session)
{
    QMutexLocker lock(&m_lock);
    m_confirmed.insert(session);
}

bool ServingSessions::isConfirmed(uint session) const
{
    QMutexLocker lock(&m_lock);
    return m_confirmed.contains(session);
}
