#include "ui/transfers/QProgressPie.h"

#include <QPainter>

namespace {
const QColor Running(33, 200, 33, 155);
const QColor Failed(214, 48, 49, 200);
// The percentage is drawn in the window's text colour, whatever a style sheet says of
// progress bars: it is the one thing that tells running rows apart.
const QColor Text(31, 42, 55);
} // namespace

QProgressPie::QProgressPie(QWidget* parent)
    : QProgressBar(parent)
    , m_brush(Running, Qt::SolidPattern)
{
    m_timer.setInterval(45);
    connect(&m_timer, &QTimer::timeout, this, &QProgressPie::updateAngle);
    // Also when the row is not on screen: a finished row must not spin on once shown.
    connect(this, &QProgressBar::valueChanged, this, &QProgressPie::followValue);
    m_timer.start();
}

void QProgressPie::setFailed(bool failed)
{
    m_failed = failed;
    QColor colour = failed ? Failed : Running;
    m_brush.setColor(colour);
    update();
}

void QProgressPie::setValue(int value)
{
    setUpdatesEnabled(false);
    QProgressBar::setValue(value);
    setUpdatesEnabled(true);
    update();
}

void QProgressPie::followValue()
{
    if (minimum() != maximum() && value() >= maximum())
        m_timer.stop();
    else if (!m_timer.isActive())
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
    const bool done = minimum() != maximum() && value() >= maximum();
    const int w = r.width() - 1;
    const int outer = int(w * 0.5);
    const int length = outer - int(w * 0.5 * 0.55);
    const int spoke = w < 32 ? int(length * 0.5) : int(length * 0.35);
    const QColor colour = m_brush.color();
    for (int i = 0; i < 12; ++i) {
        QColor c = colour;
        // A finished ring is whole: every spoke at full strength.
        c.setAlphaF(colour.alphaF() * (done ? 1.0 : 1.0 - i / 12.0));
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
    const QString text = QString::number(value()) + QLatin1Char('%');
    // As large as fits across the ring, on a light plate over the spokes.
    QFont font = this->font();
    font.setBold(true);
    int pixels = 11;
    for (; pixels > 6; --pixels) {
        font.setPixelSize(pixels);
        if (QFontMetrics(font).horizontalAdvance(text) <= r.width() - 2)
            break;
    }
    painter.setFont(font);
    const QFontMetrics metrics(font);
    QRect plate(0, 0, metrics.horizontalAdvance(text) + 2, metrics.height());
    plate.moveCenter(r.center());
    painter.setBrush(QColor(255, 255, 255, 200));
    painter.drawRoundedRect(plate, 3, 3);
    painter.setPen(QPen(Text));
    painter.drawText(r, Qt::AlignCenter, text);
    if (done)
        m_timer.stop();
}

void QProgressPie::resizeEvent(QResizeEvent* event)
{
    QProgressBar::resizeEvent(event);
    if (!m_pixmap.isNull())
        m_brush.setTexture(m_pixmap.scaled(size()));
}
