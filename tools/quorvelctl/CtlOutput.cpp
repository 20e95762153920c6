#include "CtlOutput.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <cstdio>
#include <unistd.h>

CtlOutput::CtlOutput(bool json)
    : m_json(json)
    , m_terminal(isatty(STDERR_FILENO) == 1)
{
}

void CtlOutput::line(const QString& text)
{
    finishProgress();
    fprintf(stdout, "%s\n", text.toUtf8().constData());
    fflush(stdout);
}

void CtlOutput::object(const QJsonObject& object)
{
    fprintf(stdout, "%s\n", QJsonDocument(object).toJson(QJsonDocument::Compact).constData());
    fflush(stdout);
}

void CtlOutput::error(const QString& text)
{
    finishProgress();
    fprintf(stderr, "quorvelctl: %s\n", text.toUtf8().constData());
    fflush(stderr);
}

void CtlOutput::finishProgress()
{
    if (m_barOpen) {
        fputc('\n', stderr);
        m_barOpen = false;
    }
}

void CtlOutput::progress(const ProgressContent& p, int n, int total)
{
    Transfer& t = m_transfers[p.id];
    const int percent = qBound(0, p.progress, 100);
    const QString name = QFileInfo(p.nativePath).fileName();
    if (m_json) {
        QJsonObject o;
        o["event"] = QStringLiteral("progress");
        o["id"] = p.id;
        o["file"] = p.nativePath;
        o["remote"] = p.remotePath;
        o["percent"] = p.progress;
        o["bytes"] = double(p.bytes);
        // Null until the speed means something (the first bytes only fill buffers).
        o["bytes_per_second"] = p.speed >= 0 ? QJsonValue(double(qRound64(p.speed))) : QJsonValue();
        object(o);
        return;
    }
    if (!m_terminal || p.progress == t.lastPercent)
        return;
    t.lastPercent = p.progress;
    // The speed and the time left only once the transfer has settled.
    QString speed = QStringLiteral("    -- MB/s");
    QString left = QStringLiteral("--:--");
    if (p.speed > 0) {
        speed = QStringLiteral("%1 MB/s").arg(p.speed / 1e6, 6, 'f', 1);
        if (p.totalBytes > 0 && percent < 100) {
            const qint64 remaining = qint64(double(p.totalBytes - p.bytes) / p.speed);
            left = QStringLiteral("%1:%2")
                       .arg(remaining / 60, 2, 10, QLatin1Char('0'))
                       .arg(remaining % 60, 2, 10, QLatin1Char('0'));
        }
    }
    const QString which = total > 1 ? QStringLiteral("file %1 of %2 ").arg(n).arg(total) : QString();
    const int width = 30;
    const int filled = width * percent / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-'));
    fprintf(stderr, "\r%s%-24.24s [%s] %3d%%  %s  %s left", which.toUtf8().constData(), name.toUtf8().constData(),
        bar.toUtf8().constData(), percent, speed.toUtf8().constData(), left.toUtf8().constData());
    fflush(stderr);
    m_barOpen = true;
    if (p.progress >= 100)
        finishProgress();
}
