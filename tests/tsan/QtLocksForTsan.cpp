// Built into every program of a ThreadSanitizer tree, and only there. Qt is not built
// with the sanitizer, so it cannot see that Qt's mutexes, wait conditions, semaphores and
// thread pools order what our threads do: they hand over with atomics and futexes inside
// Qt. These wrappers take the place of Qt's own functions for our calls (the program's
// definitions come first), call the real ones and tell the sanitizer what they did.
// Nothing is hidden: an access our code makes without the lock is still reported.
#include <QMutex>
#include <QRunnable>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QVariant>
#include <QWaitCondition>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

namespace {
template <typename Function> Function real(const char* symbol)
{
    void* found = dlsym(RTLD_NEXT, symbol);
    if (!found) {
        fprintf(stderr, "QtLocksForTsan: %s not found in Qt\n", symbol);
        abort();
    }
    return reinterpret_cast<Function>(found);
}
} // namespace

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto lock = real<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    lock(this);
    __tsan_acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto tryLock = real<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = tryLock(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QMutex::unlock() noexcept
{
    static const auto unlock = real<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    unlock(this);
}

// A wait lets go of the mutex and takes it again.
bool QWaitCondition::wait(QMutex* mutex, QDeadlineTimer deadline)
{
    static const auto wait
        = real<bool (*)(QWaitCondition*, QMutex*, QDeadlineTimer)>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    __tsan_release(mutex);
    const bool woken = wait(this, mutex, deadline);
    __tsan_acquire(mutex);
    return woken;
}

bool QWaitCondition::wait(QMutex* mutex, unsigned long time)
{
    static const auto wait
        = real<bool (*)(QWaitCondition*, QMutex*, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(mutex);
    const bool woken = wait(this, mutex, time);
    __tsan_acquire(mutex);
    return woken;
}

void QSemaphore::acquire(int n)
{
    static const auto acquire = real<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7acquireEi");
    acquire(this, n);
    __tsan_acquire(this);
}

bool QSemaphore::tryAcquire(int n)
{
    static const auto tryAcquire = real<bool (*)(QSemaphore*, int)>("_ZN10QSemaphore10tryAcquireEi");
    const bool acquired = tryAcquire(this, n);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

bool QSemaphore::tryAcquire(int n, int timeout)
{
    static const auto tryAcquire = real<bool (*)(QSemaphore*, int, int)>("_ZN10QSemaphore10tryAcquireEii");
    const bool acquired = tryAcquire(this, n, timeout);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

void QSemaphore::release(int n)
{
    static const auto release = real<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7releaseEi");
    __tsan_release(this);
    release(this, n);
}

namespace {
// What was done before a runnable was handed to a pool happened before it runs, and
// what it did happened before a wait for the pool returned true.
class Ordered : public QRunnable {
public:
    Ordered(QRunnable* inner, QThreadPool* pool)
        : m_inner(inner)
        , m_pool(pool)
    {
        setAutoDelete(true);
        __tsan_release(this);
    }
    // Taken off the queue unrun (QThreadPool::clear): gone as the pool would have let it go.
    ~Ordered() override
    {
        __tsan_acquire(this);
        if (m_inner && m_inner->autoDelete())
            delete m_inner;
    }
    void run() override
    {
        __tsan_acquire(this);
        QRunnable* inner = m_inner;
        m_inner = nullptr;
        const bool owned = inner->autoDelete();
        inner->run();
        if (owned)
            delete inner;
        __tsan_release(m_pool);
    }
    QRunnable* m_inner;
    QThreadPool* m_pool;
};

} // namespace

void QThreadPool::start(QRunnable* runnable, int priority)
{
    static const auto start = real<void (*)(QThreadPool*, QRunnable*, int)>("_ZN11QThreadPool5startEP9QRunnablei");
    start(this, runnable ? new Ordered(runnable, this) : nullptr, priority);
}

bool QThreadPool::tryStart(QRunnable* runnable)
{
    static const auto tryStart = real<bool (*)(QThreadPool*, QRunnable*)>("_ZN11QThreadPool8tryStartEP9QRunnable");
    if (!runnable)
        return tryStart(this, nullptr);
    auto* wrapped = new Ordered(runnable, this);
    if (tryStart(this, wrapped))
        return true;
    wrapped->m_inner = nullptr;
    delete wrapped;
    return false;
}

// The function as a runnable of our own making, so that the hand-over is ordered too.
void QThreadPool::start(std::function<void()> functionToRun, int priority)
{
    start(QRunnable::create(std::move(functionToRun)), priority);
}

bool QThreadPool::tryStart(std::function<void()> functionToRun)
{
    QRunnable* runnable = QRunnable::create(std::move(functionToRun));
    if (tryStart(runnable))
        return true;
    delete runnable;
    return false;
}

bool QThreadPool::waitForDone(int msecs)
{
    static const auto waitForDone = real<bool (*)(QThreadPool*, int)>("_ZN11QThreadPool11waitForDoneEi");
    const bool done = waitForDone(this, msecs);
    if (done)
        __tsan_acquire(this);
    return done;
}

// What a thread did before it finished happened before a wait for it returned true.
void QThread::start(Priority priority)
{
    static const auto start = real<void (*)(QThread*, Priority)>("_ZN7QThread5startENS_8PriorityE");
    static const char* const Marked = "quorvelTsanFinish";
    if (!property(Marked).toBool()) {
        setProperty(Marked, true);
        // Emitted on the thread itself, after its run.
        connect(
            this, &QThread::finished, this, [this] { __tsan_release(this); }, Qt::DirectConnection);
    }
    start(this, priority);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto wait = real<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = wait(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto wait = real<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = wait(this, time);
    if (ended)
        __tsan_acquire(this);
    return ended;
}
