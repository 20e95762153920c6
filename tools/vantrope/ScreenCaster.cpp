#include "ScreenCaster.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QTcpSocket>
#include <QTimer>
#include <QtEndian>
#include <cstdio>

namespace {
constexpr int JpegQuality = 70;
constexpr int MaxQueuedBytes = 4 * 1024 * 1024; // a slow device gets fewer frames, not a growing queue
} // namespace

ScreenCaster::ScreenCaster(const QString& serverName, const QHostAddress& device, int framesPerSecond, QObject* parent)
    : QObject(parent)
    , m_serverName(serverName)
    , m_device(device)
{
    m_timer = new QTimer(this);
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1000 / qMax(1, framesPerSecond));
    connect(m_timer, &QTimer::timeout, this, &ScreenCaster::sendFrame);
}

bool ScreenCaster::start(QString* error)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) {
        *error = QStringLiteral("no screen to cast");
        return false;
    }
    m_target = screen->size();
    m_server = new QLocalServer(this);
    QLocalServer::removeServer(m_serverName);
    if (!m_server->listen(m_serverName)) {
        *error = QStringLiteral("cannot listen as \"%1\": %2").arg(m_serverName, m_server->errorString());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        QLocalSocket* link = m_server->nextPendingConnection();
        if (m_link) {
            link->deleteLater(); // one controller at a time
            return;
        }
        m_link = link;
        connect(m_link, &QLocalSocket::readyRead, this, &ScreenCaster::onCommand);
        // Tell the newcomer where the cast stands.
        if (m_stream && m_stream->state() == QAbstractSocket::ConnectedState)
            status(m_paused ? "castPaused" : "castConnected");
    });

    if (m_device.isNull()) {
        fprintf(stderr, "Vantrope: no device address (-i): waiting for \"stop\"\n");
        return true;
    }
    m_stream = new QTcpSocket(this);
    connect(m_stream, &QTcpSocket::connected, this, [this] {
        status("castConnected");
        m_timer->start();
        sendFrame();
    });
    connect(m_stream, &QTcpSocket::disconnected, this, [this] {
        status("castDisconnected");
        finish(0); // the cast is over
    });
    connect(m_stream, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (m_stream->state() != QAbstractSocket::ConnectedState) {
            fprintf(stderr, "Vantrope: cannot reach %s:%d: %s\n", qPrintable(m_device.toString()), StreamPort,
                qPrintable(m_stream->errorString()));
            status("castDisconnected");
            finish(1);
        }
    });
    m_stream->connectToHost(m_device, StreamPort);
    return true;
}

void ScreenCaster::status(const char* line)
{
    if (!m_link)
        return;
    m_link->write(QByteArray(line) + "\r\n");
    m_link->flush();
}

void ScreenCaster::finish(int code)
{
    m_timer->stop();
    if (m_link) {
        m_link->flush();
        m_link->waitForBytesWritten(1000);
        m_link->disconnectFromServer();
    }
    QCoreApplication::exit(code);
}

void ScreenCaster::onCommand()
{
    while (m_link->canReadLine()) {
        const QByteArray line = m_link->readLine().trimmed();
        if (line == "pause" && !m_paused) {
            m_paused = true;
            m_timer->stop();
            status("castPaused");
        } else if (line == "resume" && m_paused) {
            m_paused = false;
            if (m_stream && m_stream->state() == QAbstractSocket::ConnectedState)
                m_timer->start();
            status("castResumed");
        } else if (line == "changeAspectRatio") {
            m_letterbox = !m_letterbox;
        } else if (line == "stop") {
            if (m_stream)
                m_stream->disconnectFromHost();
            finish(0);
            return;
        }
    }
}

void ScreenCaster::sendFrame()
{
    if (!m_stream || m_stream->state() != QAbstractSocket::ConnectedState || m_paused)
        return;
    if (m_stream->bytesToWrite() > MaxQueuedBytes)
        return;
    QScreen* screen = QGuiApplication::primaryScreen();
    QImage shot = screen->grabWindow(0).toImage();
    QImage frame;
    if (shot.size() == m_target) {
        frame = shot;
    } else if (!m_letterbox) {
        frame = shot.scaled(m_target, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    } else {
        frame = QImage(m_target, QImage::Format_RGB32);
        frame.fill(Qt::black);
        const QImage fitted = shot.scaled(m_target, Qt::KeepAspectRatio, Qt::FastTransformation);
        QPainter painter(&frame);
        painter.drawImage((m_target.width() - fitted.width()) / 2, (m_target.height() - fitted.height()) / 2, fitted);
    }
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    frame.save(&buffer, "JPEG", JpegQuality);
    char length[4];
    qToBigEndian<quint32>(quint32(jpeg.size()), length);
    m_stream->write(length, 4);
    m_stream->write(jpeg);
    ++m_frames;
}
