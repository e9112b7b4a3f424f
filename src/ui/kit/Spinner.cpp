#include "Spinner.h"

#include <QPainter>
#include <QTimerEvent>

namespace {
constexpr int spokes = 12;
constexpr int stepMsecs = 80;
} // namespace

Spinner::Spinner(int diameter, QWidget* parent) : QWidget(parent), m_diameter(diameter)
{
    setFixedSize(diameter, diameter);
    setAttribute(Qt::WA_TranslucentBackground);
}

void Spinner::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_timer.start(stepMsecs, this);
}

void Spinner::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

void Spinner::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId())
        return QWidget::timerEvent(event);
    m_step = (m_step + 1) % spokes;
    update();
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal radius = m_diameter / 2.0;
    const qreal width = std::max(1.5, m_diameter / 9.0);
    painter.translate(radius, radius);
    QColor ink = palette().color(QPalette::WindowText);
    for (int i = 0; i < spokes; ++i) {
        // The newest spoke is the brightest; the others fade behind it.
        const int age = (m_step - i + spokes) % spokes;
        ink.setAlphaF(float(1.0 - 0.8 * age / (spokes - 1)));
        painter.setPen(QPen(ink, width, Qt::SolidLine, Qt::RoundCap));
        painter.save();
        painter.rotate(360.0 * i / spokes);
        painter.drawLine(QPointF(0, -radius * 0.45), QPointF(0, -radius + width / 2));
        painter.restore();
    }
}
