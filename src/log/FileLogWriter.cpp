#include "log/FileLogWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace {
thread_local bool t_reportingOwnError = false;
} // namespace

FileLogWriter::FileLogWriter(const QString& name, const QString& folder, QObject* parent)
    : QThread(parent)
    , m_logName(name)
    , m_folder(folder)
    , m_timeFormat(QStringLiteral("yyyy-MM-dd hh:mm:ss :\t"))
{
    // Direct: the reporter's thread only appends to the queue.
    connect(&m_bridge, &FileLogBridge::onWriteMessage, this, &FileLogWriter::priWriteMessage, Qt::DirectConnection);
    start();
}

FileLogWriter::~FileLogWriter()
{
    stop();
}

bool FileLogWriter::isReportingOwnError()
{
    return t_reportingOwnError;
}

QString FileLogWriter::fileName() const
{
    QMutexLocker lock(&m_lock);
    return m_fileName;
}

void FileLogWriter::setBeforeWriteForTests(std::function<void()> hook)
{
    QMutexLocker lock(&m_lock);
    m_beforeWrite = std::move(hook);
}

void FileLogWriter::stop()
{
    {
        QMutexLocker lock(&m_lock);
        m_stopping = true;
        m_wake.wakeAll();
    }
    wait();
}

void FileLogWriter::priWriteMessage(QString msg)
{
    QMutexLocker lock(&m_lock);
    if (m_stopping)
        return;
    m_queue.append(msg);
    m_wake.wakeAll();
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
    for (;;) {
        QStringList batch;
        std::function<void()> beforeWrite;
        bool stopping = false;
        {
            QMutexLocker lock(&m_lock);
            while (m_queue.isEmpty() && !m_stopping)
                m_wake.wait(&m_lock);
            batch.swap(m_queue);
            stopping = m_stopping;
            beforeWrite = m_beforeWrite;
        }
        // Written outside the lock: a message reported while writing (the file's own
        // warnings included) only queues behind this batch.
        for (const QString& msg : qAsConst(batch)) {
            if (beforeWrite)
                beforeWrite();
            writeOne(msg);
        }
        if (stopping && batch.isEmpty())
            break;
    }
    delete m_file;
    m_file = nullptr;
}

void FileLogWriter::openLogFile()
{
    const QByteArray folder = QFile::encodeName(m_folder);
    if (!QFileInfo::exists(m_folder) && ::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) {
        reportError("[E][%s] make %s dir fail.", m_folder);
        return;
    }
    QDir dir(m_folder);
    if (!QFileInfo(m_folder).isDir() || !dir.isReadable()) {
        reportError("[E][%s] cd %s fail.", m_folder);
        return;
    }
    // A folder left by an older version may be open to others: the log is its owner's.
    ::chmod(folder.constData(), 0700);
    QStringList old = dir.entryList(QStringList{m_logName + QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    while (old.size() > KeptOldFiles) {
        const QString name = old.takeFirst();
        if (!dir.remove(name))
            reportError("[E][%s] remove file %s fail.", name);
    }

    // Two writers started in the same millisecond (a quick restart, two clients side by
    // side) must not truncate each other's file: take the next free millisecond.
    qint64 stamp = QDateTime::currentMSecsSinceEpoch();
    QString path;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt, ++stamp) {
        path = dir.filePath(m_logName + QLatin1Char('-') + QString::number(stamp) + QStringLiteral(".log"));
        fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && (errno != EEXIST || attempt == 1000)) {
            reportError("[E][%s] Open file fail: %s", qt_error_string(errno));
            return;
        }
    }
    auto* file = new QFile(path);
    if (!file->open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        reportError("[E][%s] Open file fail: %s", file->errorString());
        delete file;
        return;
    }
    m_file = file;
    QMutexLocker lock(&m_lock);
    m_fileName = path;
}

void FileLogWriter::writeOne(QString msg)
{
    if (!m_file) {
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
