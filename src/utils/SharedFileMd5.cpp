#include "utils/SharedFileMd5.h"

#include <QHash>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "utils/BackgroundFileMd5.h"

namespace {
QMutex g_registryLock;
QHash<QString, std::weak_ptr<SharedFileMd5>> g_running; // by file identity and size
} // namespace

std::shared_ptr<SharedFileMd5> SharedFileMd5::of(int descriptor, qint64 size)
{
    struct stat st;
    if (::fstat(descriptor, &st) != 0)
        return nullptr;
    const QString key = QStringLiteral("%1:%2:%3:%4.%5")
                            .arg(quint64(st.st_dev))
                            .arg(quint64(st.st_ino))
                            .arg(size)
                            .arg(qint64(st.st_mtim.tv_sec))
                            .arg(qint64(st.st_mtim.tv_nsec));
    QMutexLocker lock(&g_registryLock);
    for (auto it = g_running.begin(); it != g_running.end();) {
        if (it.value().expired())
            it = g_running.erase(it);
        else
            ++it;
    }
    if (std::shared_ptr<SharedFileMd5> running = g_running.value(key).lock())
        return running;
    const int own = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    std::shared_ptr<SharedFileMd5> made(new SharedFileMd5(own, size));
    g_running.insert(key, made);
    return made;
}

SharedFileMd5::SharedFileMd5(int ownDescriptor, qint64 size)
    : m_fd(ownDescriptor)
    , m_digest(std::make_unique<BackgroundFileMd5>(ownDescriptor, size))
{
}

SharedFileMd5::~SharedFileMd5()
{
    m_digest.reset(); // its thread reads the descriptor
    ::close(m_fd);
}

QString SharedFileMd5::hexResult()
{
    QMutexLocker lock(&m_lock);
    if (!m_done) {
        m_hex = m_digest->hexResult();
        m_error = m_digest->errorString();
        m_done = true;
    }
    return m_hex;
}

QString SharedFileMd5::errorString()
{
    QMutexLocker lock(&m_lock);
    return m_error;
}
