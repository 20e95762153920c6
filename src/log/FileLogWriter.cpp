#include "FileLogWriter.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>

#include "AppContext.h"

namespace {
thread_local bool t_reportingOwnError = false;
constexpr unsigned long OpenWaitMs = 2000;
} // namespace

FileLogWriter::FileLogWriter(const QString& name, QObject* parent)
    : QThread(parent)
    , m_logName(name)
    , m_timeFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss :\t"))
{
    connect(&m_bridge, &FileLogBridge::onWriteMessage, this, &FileLogWriter::priWriteMessage, Qt::QueuedConnection);
    start();
}

FileLogWriter::~FileLogWriter()
{
    if (isRunning()) {
        quit();
        wait();
    }
}

bool FileLogWriter::isReportingOwnError()
{
    return t_reportingOwnError;
}

QString FileLogWriter::fileName() const
{
    QMutexLocker lock(&m_fileLock);
    return m_file ? m_file->fileName() : QString();
}

void FileLogWriter::reportError(const char* format, const QString& argument)
{
    t_reportingOwnError = true;
    qCritical(format, "FileLogWriter", qUtf8Printable(argument));
    t_reportingOwnError = false;
}

void FileLogWriter::run()
{
    openLogFile();
    {
        QMutexLocker lock(&m_fileLock);
        m_openAttempted = true;
        m_openedCondition.wakeAll();
    }
    exec();
    QMutexLocker lock(&m_fileLock);
    delete m_file;
    m_file = nullptr;
}

void FileLogWriter::openLogFile()
{
    const QString folder = QStringLiteral("log");
    QDir dir(AppContext::applicationFolder().isEmpty() ? QDir::currentPath() : AppContext::applicationFolder());
    if (!dir.exists(folder) && !dir.mkdir(folder)) {
        reportError("[E][%s] make %s dir fail.", folder);
        return;
    }
    if (!dir.cd(folder)) {
        reportError("[E][%s] cd %s fail.", folder);
        return;
    }
    QStringList old = dir.entryList(QStringList{m_logName + QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    while (old.size() > KeptOldFiles) {
        const QString name = old.takeFirst();
        if (!dir.remove(name))
            reportError("[E][%s] remove file %s fail.", name);
    }

    // Two writers started in the same millisecond (a quick restart, two clients side by
    // side) must not truncate each other's file: take the next free millisecond.
    qint64 stamp = QDateTime::currentMSecsSinceEpoch();
    auto* file = new QFile;
    for (int attempt = 0;; ++attempt, ++stamp) {
        file->setFileName(dir.filePath(m_logName + QLatin1Char('-') + QString::number(stamp) + QStringLiteral(".log")));
        if (file->open(QIODevice::WriteOnly | QIODevice::NewOnly))
            break;
        if (!file->exists() || attempt == 1000) {
            reportError("[E][%s] Open file fail: %s", file->errorString());
            delete file;
            return;
        }
    }
    QMutexLocker lock(&m_fileLock);
    m_file = file;
}

void FileLogWriter::waitUntilOpened()
{
    // Messages reported before the thread opened the file still belong in it.
    if (!m_openAttempted && isRunning())
        m_openedCondition.wait(&m_fileLock, OpenWaitMs);
}

void FileLogWriter::priWriteMessage(QString msg)
{
    QMutexLocker lock(&m_fileLock);
    waitUntilOpened();
    if (!m_file) {
        lock.unlock();
        t_reportingOwnError = true;
        qCritical("[E][%s] File is not opened.", "FileLogWriter");
        t_reportingOwnError = false;
        return;
    }
    m_file->write(QDateTime::currentDateTime().toString(m_timeFormat).toUtf8());
    const bool endsWithLineFeed = msg.endsWith(QLatin1Char('\n'));
    msg.replace(QLatin1String("\n"), QLatin1String("\n\t\t\t\t\t\t\t\t"));
    m_file->write(msg.toUtf8());
    if (!endsWithLineFeed)
        m_file->write("\r\n");
    m_file->flush();
}
