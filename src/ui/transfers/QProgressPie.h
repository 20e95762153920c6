#pragma once

#include <QBrush>
#include <QPixmap>
#include <QProgressBar>
#include <QTimer>

// A spinning ring of twelve spokes with the percentage in its middle; it stops turning
// once the value reaches the maximum, and then shows a full ring.
class QProgressPie : public QProgressBar {
    Q_OBJECT
public:
    explicit QProgressPie(QWidget* parent = nullptr);

    // Paints with the rest of the window, not at once: QProgressBar repaints on every change
    // it cannot tell was painted (and this bar paints itself), and a synchronous paint in a
    // list of rows lays the whole list out again.
    void setValue(int value);

    bool isSpinning() const { return m_timer.isActive(); }
    // A failed transfer's ring is drawn in red; it keeps its last percentage.
    void setFailed(bool failed);
    bool isFailed() const { return m_failed; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void updateAngle();

private:
    void followValue();

    QBrush m_brush;
    // A texture for the spokes, none by default.
    QPixmap m_pixmap;
    QTimer m_timer;
    int m_angle = 0;
    bool m_failed = false;
};
