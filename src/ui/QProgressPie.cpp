#include "QProgressPie.h"

#include <QPainter>

QProgressPie::QProgressPie(QWidget* parent)
    : QProgressBar(parent)
    , m_brush(QColor(33, 200, 33, 155), Qt::SolidPattern)
{
    m_timer.setInterval(45);
    connect(&m_timer, &QTimer::timeout, this, &QProgressPie::updateAngle);
    m_timer.start();
}

void QProgressPie::updateAngle()
{
    m_angle = (m_angle + 30) % 360;
    update();
}

void QProgressPie::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRect r = rect();
    painter.fillRect(r, QColor(0, 0, 0, 0));
    const int w = r.width() - 1;
    const int outer = int(w * 0.5);
    const int length = outer - int(w * 0.5 * 0.55);
    const int spoke = w < 32 ? int(length * 0.5) : int(length * 0.35);
    const QColor colour = m_brush.color();
    for (int i = 0; i < 12; ++i) {
        QColor c = colour;
        c.setAlphaF(colour.alphaF() * (1.0 - i / 12.0));
        QBrush brush = m_brush;
        brush.setColor(c);
        painter.save();
        painter.translate(r.center());
        painter.rotate(m_angle - 30 * i);
        painter.setBrush(brush);
        painter.drawRoundedRect(QRectF(-spoke * 0.5, -outer, spoke, length), spoke / 2, spoke / 2);
        painter.restore();
    }
    if (minimum() == maximum())
        return;
    painter.setPen(QPen(palette().color(QPalette::WindowText)));
    painter.drawText(r, Qt::AlignCenter, QString::number(value()) + QLatin1Char('%'));
    if (value() >= maximum())
        m_timer.stop();
}

void QProgressPie::resizeEvent(QResizeEvent* event)
{
    QProgressBar::resizeEvent(event);
    if (!m_pixmap.isNull())
        m_brush.setTexture(m_pixmap.scaled(size()));
}
