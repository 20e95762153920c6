#include "app/SingleApplication.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include "app/LocalServer.h"
#include "platform/AppFolders.h"

#include <unistd.h>

namespace {
constexpr int ConnectTimeoutMs = 1000;
constexpr int AfterWriteMs = 100;
constexpr int MaxKeyPart = 64;
} // namespace

QString SingleApplication::instanceKey(const QString& canonicalProgramPath, uint userId)
{
    QString key = QString::fromLatin1(canonicalProgramPath.toLatin1());
    key.remove(QLatin1Char('/')).remove(QLatin1Char(':')).remove(QLatin1Char('\\')).remove(QLatin1Char('.'));
    // A socket path holds about a hundred bytes: a deep install folder keeps its tail and
    // a digest of the whole.
    if (key.size() > MaxKeyPart)
        key = key.right(MaxKeyPart / 2)
            + QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex().left(16));
    return key + QLatin1Char('-') + QString::number(userId);
}

SingleApplication::SingleApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    // applicationFilePath() is where the kernel found the program, whatever argv[0] says.
    const QString program = QFileInfo(applicationFilePath()).canonicalFilePath();
    m_instanceKey = instanceKey(program.isEmpty() ? applicationFilePath() : program, ::geteuid());
    const QString folder = AppFolders::privateRuntimeFolder(QProcessEnvironment::systemEnvironment());
    if (folder.isEmpty()) {
        // Nowhere private to hold the lock: a shared folder would let another user's
        // client answer for this one. The client runs, only unguarded.
        qWarning("[W][SingleApplication] No folder of this user's own for the single-instance lock "
                 "(XDG_RUNTIME_DIR and the temporary folder): a second start opens a second client.");
        m_isPrimary = true;
        return;
    }
    const QString socketPath = folder + QLatin1Char('/') + m_instanceKey;
    // The lock file takes a suffix: sharing the socket's path, removing a stale socket
    // would remove the lock.
    m_lockFile = new QLockFile(socketPath + QStringLiteral(".lock"));
    if (m_lockFile->tryLock(0)) {
        m_localServer = new LocalServer(socketPath);
        m_localServer->start(QThread::InheritPriority);
        connect(m_localServer, &LocalServer::showUp, this, &SingleApplication::slotShowUp);
        m_isPrimary = true;
        return;
    }

    QLocalSocket socket;
    socket.connectToServer(socketPath, QIODevice::ReadWrite);
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
    if (m_lockFile && m_lockFile->isLocked())
        m_lockFile->unlock();
    delete m_lockFile;
}

void SingleApplication::slotShowUp()
{
    emit showUp();
}
