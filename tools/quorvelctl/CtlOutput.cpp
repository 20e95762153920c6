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

void CtlOutput::progress(const ProgressContent& p, qint64 size)
{
    Transfer& t = m_transfers[p.id];
    if (!t.started.isValid())
        t.started.start();
    const double seconds = qMax(0.001, t.started.nsecsElapsed() / 1e9);
    const int percent = qBound(0, p.progress, 100);
    const double bytes = size > 0 ? double(size) * percent / 100.0 : 0;
    const double rate = bytes / seconds;
    const QString name = QFileInfo(p.nativePath).fileName();
    if (m_json) {
        QJsonObject o;
        o["event"] = QStringLiteral("progress");
        o["id"] = p.id;
        o["file"] = p.nativePath;
        o["remote"] = p.remotePath;
        o["percent"] = p.progress;
        o["bytes_per_second"] = qRound64(rate);
        object(o);
        return;
    }
    if (!m_terminal || p.progress == t.lastPercent)
        return;
    t.lastPercent = p.progress;
    QString left = QStringLiteral("--:--");
    if (percent > 0 && percent < 100) {
        const int remaining = int(seconds * (100 - percent) / percent);
        left = QStringLiteral("%1:%2")
                   .arg(remaining / 60, 2, 10, QLatin1Char('0'))
                   .arg(remaining % 60, 2, 10, QLatin1Char('0'));
    }
    const int width = 30;
    const int filled = width * percent / 100;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('-'));
    fprintf(stderr, "\r%-24.24s [%s] %3d%%  %7.1f MB/s  %s left", name.toUtf8().constData(), bar.toUtf8().constData(),
        percent, rate / 1e6, left.toUtf8().constData());
    fflush(stderr);
    m_barOpen = true;
    if (p.progress >= 100)
        finishProgress();
}
