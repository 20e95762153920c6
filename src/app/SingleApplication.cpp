#include "app/SingleApplication.h"

#include <QDir>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include "app/LocalServer.h"

namespace {
constexpr int ConnectTimeoutMs = 1000;
constexpr int AfterWriteMs = 100;
} // namespace

QString SingleApplication::instanceKey(const QString& programPath)
{
    QString key = QString::fromLatin1(programPath.toLatin1());
    key.remove(QLatin1Char('/')).remove(QLatin1Char(':')).remove(QLatin1Char('\\')).remove(QLatin1Char('.'));
    return key;
}

SingleApplication::SingleApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    m_instanceKey = instanceKey(QString::fromLatin1(argc > 0 ? argv[0] : ""));
    // The local socket of the listener lives at tempPath/key on this platform, so the
    // lock file takes a suffix: sharing the path, removing a stale socket would remove
    // the lock.
    m_lockFile = new QLockFile(QDir::tempPath() + QLatin1Char('/') + m_instanceKey + QStringLiteral(".lock"));
    if (m_lockFile->tryLock(0)) {
        m_localServer = new LocalServer(m_instanceKey);
        m_localServer->start(QThread::InheritPriority);
        connect(m_localServer, &LocalServer::showUp, this, &SingleApplication::slotShowUp);
        m_isPrimary = true;
        return;
    }

    QLocalSocket socket;
    socket.connectToServer(m_instanceKey, QIODevice::ReadWrite);
    if (socket.waitForConnected(ConnectTimeoutMs)) {
        socket.write("CMD:showUp");
        socket.flush();
        socket.waitForBytesWritten(ConnectTimeoutMs);
        QThread::msleep(AfterWriteMs);
        socket.close();
    }
}

SingleApplication::~SingleApplication()
{
    if (m_localServer) {
        m_localServer->stop();
        delete m_localServer;
    }
    if (m_lockFile->isLocked())
        m_lockFile->unlock();
    delete m_lockFile;
}

void SingleApplication::slotShowUp()
{
    emit showUp();
}
