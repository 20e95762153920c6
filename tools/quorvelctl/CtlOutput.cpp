#include "CtlOutput.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "quorvel/protocol/ProtocolWords.h"

CtlOutput::CtlOutput(bool json)
    : m_json(json)
    , m_terminal(isatty(STDERR_FILENO) == 1)
{
}

void CtlOutput::write(const QByteArray& bytes)
{
    if (!m_writeFailure.isEmpty())
        return;
    errno = 0;
    if (fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size()) && fflush(stdout) == 0)
        return;
    m_writeFailure = errno ? QString::fromLocal8Bit(std::strerror(errno)) : QStringLiteral("write error");
    finishProgress();
    fprintf(stderr, "quorvelctl: cannot write to standard output: %s\n", m_writeFailure.toUtf8().constData());
    fflush(stderr);
}

bool CtlOutput::close()
{
    write(QByteArray());
    return m_writeFailure.isEmpty();
}

void CtlOutput::line(const QString& text)
{
    finishProgress();
    write(text.toUtf8() + '\n');
}

void CtlOutput::text(const QString& text)
{
    finishProgress();
    write(text.toUtf8());
}

void CtlOutput::event(const QString& name, QJsonObject fields)
{
    fields.insert(QStringLiteral("event"), name);
    write(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
}

void CtlOutput::result(bool ok, const QString& device, const QString& file, const QString& remote)
{
    event(QStringLiteral("result"),
        {{"command", m_command}, {"ok", ok}, {"device", device}, {"file", file}, {"remote", remote}});
}

void CtlOutput::error(const QString& message, const QString& reason)
{
    finishProgress();
    const QString said = reason.isEmpty() ? message : message + QStringLiteral(": ") + reason;
    fprintf(stderr, "quorvelctl: %s\n", said.toUtf8().constData());
    fflush(stderr);
    if (m_json)
        event(QStringLiteral("error"),
            {{"command", m_command}, {"message", message}, {"reason", reason.isEmpty() ? message : reason}});
}

void CtlOutput::warning(const QString& message)
{
    finishProgress();
    fprintf(stderr, "quorvelctl: warning: %s\n", message.toUtf8().constData());
    fflush(stderr);
    if (m_json)
        event(QStringLiteral("warning"), {{"command", m_command}, {"message", message}});
}

void CtlOutput::notice(const QString& text)
{
    finishProgress();
    fprintf(stderr, "%s\n", text.toUtf8().constData());
    fflush(stderr);
}

void CtlOutput::finishProgress()
{
    if (m_barOpen) {
        fputc('\n', stderr);
        m_barOpen = false;
    }
}

QJsonObject CtlOutput::deviceJson(const ServerContent& s, const QString& foundBy)
{
    QJsonObject features;
    for (const QString& plain : s.supportList)
        features[plain] = QJsonValue();
    for (const SupportEntry& e : s.supportPorts)
        features[e.name] = e.port;
    return {{"name", s.name}, {"address", s.address.toString()}, {"port", s.port}, {"uuid", s.uuid},
        {"kind", kindOf(s)}, {"version", s.version}, {"os", s.os}, {"features", features}, {"found_by", foundBy}};
}

QString CtlOutput::kindOf(const ServerContent& s)
{
    if (s.type == ProtocolValue::Client)
        return QStringLiteral("client");
    // A device calls itself "server", or says nothing of its kind in its answer.
    return s.type.isEmpty() && s.uuid.isEmpty() ? QString() : QStringLiteral("device");
}

QString CtlOutput::where(const ServerContent& s)
{
    const QString address = s.address.toString();
    return (s.address.protocol() == QAbstractSocket::IPv6Protocol ? "[" + address + "]" : address)
        + QStringLiteral(":%1").arg(s.port);
}

QString CtlOutput::escaped(const QString& text)
{
    QString out;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0))
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

double CtlOutput::speedOf(const ProgressContent& p)
{
    Start& start = m_started[p.id];
    if (!start.clock.isValid()) {
        start.clock.start();
        start.bytes = p.bytes;
    }
    double speed = p.speed;
    const qint64 ns = start.clock.nsecsElapsed();
    if (speed < 0 && p.progress >= 100 && ns > 0 && p.bytes > start.bytes)
        speed = double(p.bytes - start.bytes) * 1e9 / double(ns);
    // Once known it stays known (a new connection starts the transfer's own count anew).
    if (speed < 0)
        return start.last;
    start.last = speed;
    return speed;
}

void CtlOutput::progress(const ProgressContent& p, int n, int total)
{
    const int percent = qBound(0, p.progress, 100);
    const double speed = speedOf(p);
    if (m_json) {
        event(QStringLiteral("progress"),
            {{"command", m_command}, {"id", p.id}, {"file", p.nativePath}, {"remote", p.remotePath},
                {"percent", percent}, {"bytes", double(p.bytes)},
                {"total_bytes", double(qMax<qint64>(0, p.totalBytes))},
                // Null until the speed means something (the first bytes only fill buffers).
                {"bytes_per_second", speed >= 0 ? QJsonValue(double(qRound64(speed))) : QJsonValue()}, {"index", n},
                {"count", total}});
        return;
    }
    if (!m_terminal || m_lastPercent.value(p.id, -2) == p.progress)
        return;
    m_lastPercent[p.id] = p.progress;
    // The speed and the time left only once the transfer has settled.
    QString rate = QStringLiteral("    -- MB/s");
    QString left = QStringLiteral("--:--");
    if (speed > 0) {
        rate = QStringLiteral("%1 MB/s").arg(speed / 1e6, 6, 'f', 1);
        if (p.totalBytes > 0 && percent < 100) {
            const qint64 remaining = qint64(double(p.totalBytes - p.bytes) / speed);
            left = QStringLiteral("%1:%2")
                       .arg(remaining / 60, 2, 10, QLatin1Char('0'))
                       .arg(remaining % 60, 2, 10, QLatin1Char('0'));
        }
    }
    const QString which = total > 1 ? QStringLiteral("file %1 of %2 ").arg(n).arg(total) : QString();
    const QString name = escaped(QFileInfo(p.nativePath.isEmpty() ? p.remotePath : p.nativePath).fileName());
    const int width = 30;
    const int filled = width * percent / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-'));
    fprintf(stderr, "\r%s%-24.24s [%s] %3d%%  %s  %s left", which.toUtf8().constData(), name.toUtf8().constData(),
        bar.toUtf8().constData(), percent, rate.toUtf8().constData(), left.toUtf8().constData());
    fflush(stderr);
    m_barOpen = true;
    if (p.progress >= 100)
        finishProgress();
}
