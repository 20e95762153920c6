#include "log/CustomMsgHandler.h"

#include <QAtomicPointer>
#include <QDateTime>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include "log/FileLogWriter.h"
#include "log/LogLimiter.h"
#include "quorvel/tasks/Timing.h"

namespace {
QMutex g_installLock;
QAtomicPointer<CustomMsgHandler> g_installed;
} // namespace

CustomMsgHandler::CustomMsgHandler(const QString& logFolder, const QString& logName, QObject* parent)
    : QObject(parent)
{
    m_writer = new FileLogWriter(logName, logFolder);
    m_limiter = std::make_unique<LogLimiter>(Timing::current().logRepeatWindowMs);
    m_summaryTimer.setSingleShot(true);
    connect(&m_summaryTimer, &QTimer::timeout, this, [this] { flushSummaries(false); });
}

CustomMsgHandler::~CustomMsgHandler()
{
    uninstall();
    delete m_writer;
}

bool CustomMsgHandler::install()
{
    QMutexLocker lock(&g_installLock);
    if (g_installed.loadAcquire())
        return false;
    g_installed.storeRelease(this);
    qInstallMessageHandler(&CustomMsgHandler::handle);
    return true;
}

bool CustomMsgHandler::uninstall()
{
    {
        QMutexLocker lock(&g_installLock);
        if (g_installed.loadAcquire() != this)
            return false;
        qInstallMessageHandler(nullptr);
        g_installed.storeRelease(nullptr);
    }
    flushSummaries(true);
    return true;
}

void CustomMsgHandler::deliver(const QStringList& lines, bool toFile)
{
    for (const QString& line : lines) {
        if (toFile)
            emit m_writer->bridge()->onWriteMessage(line);
        emit message(line);
    }
}

void CustomMsgHandler::flushSummaries(bool all)
{
    QStringList summaries;
    qint64 next = -1;
    {
        QMutexLocker lock(&m_limitLock);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        summaries = m_limiter->takeSummaries(now, all);
        next = all ? -1 : m_limiter->nextSummaryMs();
        if (next >= 0)
            next -= now;
    }
    if (next >= 0 && QThread::currentThread() == thread())
        m_summaryTimer.start(int(qBound<qint64>(0, next, 24 * 3600 * 1000)));
    deliver(summaries, true);
}

void CustomMsgHandler::handle(QtMsgType, const QMessageLogContext&, const QString& msg)
{
    CustomMsgHandler* handler = g_installed.loadAcquire();
    if (!handler)
        return;
    const QString line = LogLimiter::bounded(msg);
    QStringList lines;
    bool startTimer = false;
    {
        QMutexLocker lock(&handler->m_limitLock);
        const qint64 pendingBefore = handler->m_limiter->nextSummaryMs();
        if (handler->m_limiter->admit(line, QDateTime::currentMSecsSinceEpoch(), &lines))
            lines.append(line);
        // The first line counted in a while: its summary is due at its window's end,
        // even when nothing else is logged by then.
        startTimer = pendingBefore < 0 && handler->m_limiter->nextSummaryMs() >= 0;
    }
    if (startTimer)
        QMetaObject::invokeMethod(
            handler, [handler] { handler->flushSummaries(false); }, Qt::QueuedConnection);
    // The writer's own reports must not come back to the file, or a writer without a file
    // would loop.
    handler->deliver(lines, !FileLogWriter::isReportingOwnError());
}
