#pragma once

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTcpSocket>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

// Files and digests for tests, and bounded reads of what a child process prints or a TCP
// peer sends.
namespace TestFiles {

// Writes `size` bytes whose pattern repeats every 251 bytes, so that a byte that lands
// at the wrong offset changes the digest. Returns the path, or "" when it cannot write.
inline QString patterned(const QString& path, qint64 size)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return QString();
    QByteArray block(65536, Qt::Uninitialized);
    for (qint64 written = 0; written < size;) {
        for (int i = 0; i < block.size(); ++i)
            block[i] = char((written + i) * 31 % 251);
        const qint64 n = qMin<qint64>(block.size(), size - written);
        if (f.write(block.constData(), n) != n)
            return QString();
        written += n;
    }
    return path;
}

inline bool write(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

// A shell script the owner may run: "#!/bin/sh" and body.
inline bool script(const QString& path, const QByteArray& body)
{
    return write(path, "#!/bin/sh\n" + body) && QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
}

// The file's bytes; "missing" when it cannot be read.
inline QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("missing");
}

inline QString md5(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

// "missing" for a file that cannot be read, so that two missing files never compare equal
// to a real digest.
inline QString md5Of(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("missing");
    QCryptographicHash h(QCryptographicHash::Md5);
    h.addData(&f);
    return QString::fromLatin1(h.result().toHex());
}

// What a child process printed on both channels, read as it comes.
struct Output {
    explicit Output(QProcess* p)
        : process(p)
    {
    }
    QProcess* process;
    QByteArray out, err;
    // Reads, with a bound, until standard output (or error) holds needle (count times) or
    // the process ended.
    bool waitFor(const QByteArray& needle, bool onError = false, int timeoutMs = 30000, int count = 1)
    {
        const QByteArray& where = onError ? err : out;
        QDeadlineTimer deadline(timeoutMs);
        while (where.count(needle) < count && !deadline.hasExpired() && process->state() != QProcess::NotRunning) {
            process->waitForReadyRead(100);
            out += process->readAllStandardOutput();
            err += process->readAllStandardError();
        }
        out += process->readAllStandardOutput();
        err += process->readAllStandardError();
        return where.count(needle) >= count;
    }
    QByteArray both() const { return out + err; }
    // Writes a line to the process's standard input; whether it went.
    bool send(const QByteArray& line)
    {
        process->write(line + "\n");
        return process->waitForBytesWritten(5000);
    }
};

// Reads the process's standard output into `seen` until it holds `needle`, the process
// ends or the time is up; returns `seen`.
inline QByteArray waitForOutput(QProcess* p, const QByteArray& needle, QByteArray& seen, int timeoutMs = 30000)
{
    Output output(p);
    output.out = seen;
    output.waitFor(needle, false, timeoutMs);
    return seen = output.out;
}

// Reads until `count` bytes came, the peer closed or the time is up; never more than
// `count`, so that what follows stays for the next read.
inline QByteArray readUntil(QTcpSocket& socket, qint64 count, int timeoutMs = 10000)
{
    QByteArray data;
    QDeadlineTimer deadline(timeoutMs);
    while (data.size() < count && !deadline.hasExpired()) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(200)
            && socket.state() != QAbstractSocket::ConnectedState)
            break;
        data += socket.read(count - data.size());
    }
    return data;
}

// Which share of a file's range is in the page cache; -1 when it cannot be mapped.
inline double residentShare(int fd, qint64 offset, qint64 length)
{
    void* map = ::mmap(nullptr, size_t(length), PROT_READ, MAP_SHARED, fd, off_t(offset));
    if (map == MAP_FAILED)
        return -1;
    const long page = ::sysconf(_SC_PAGESIZE);
    std::vector<unsigned char> pages(size_t((length + page - 1) / page));
    ::mincore(map, size_t(length), pages.data());
    ::munmap(map, size_t(length));
    int resident = 0;
    for (unsigned char p : pages)
        resident += p & 1;
    return double(resident) / double(pages.size());
}

// A figure of /proc/PID/status in kB ("VmRSS:", "VmHWM:"; PID 0: this process); -1 when
// it cannot be read.
inline long processStatusKb(qint64 pid, const char* field = "VmRSS:")
{
    QFile file(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const int at = status.indexOf(field);
    if (at < 0)
        return -1;
    const int from = at + int(qstrlen(field));
    return status.mid(from, status.indexOf('\n', at) - from).trimmed().split(' ').first().toLong();
}

} // namespace TestFiles
