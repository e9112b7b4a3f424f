#include "SegmentedControl.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int horizontalPadding = 12;
constexpr int verticalPadding = 5;
constexpr qreal trackRadius = 6;
constexpr int thumbInset = 2;

QColor whiteAt(qreal opacity)
{
    QColor colour(Qt::white);
    colour.setAlphaF(float(opacity));
    return colour;
}
} // namespace

SegmentedControl::SegmentedControl(const QStringList& segments, QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setSegments(segments);
}

void SegmentedControl::setSegments(const QStringList& segments)
{
    m_segments = segments;
    if (m_current >= m_segments.size())
        m_current = -1;
    m_pressed = m_hovered = -1;
    updateAccessibleText();
    updateGeometry();
    update();
}

void SegmentedControl::setCurrentIndex(int index)
{
    if (index < -1 || index >= m_segments.size())
        index = -1;
    if (index == m_current)
        return;
    m_current = index;
    updateAccessibleText();
    update();
}

QSize SegmentedControl::sizeHint() const
{
    int widest = 0;
    for (const QString& segment : m_segments)
        widest = std::max(widest, fontMetrics().horizontalAdvance(segment));
    const int count = std::max<int>(1, int(m_segments.size()));
    return {count * (widest + 2 * horizontalPadding), fontMetrics().height() + 2 * verticalPadding};
}

QSize SegmentedControl::minimumSizeHint() const
{
    int widest = 0;
    for (const QString& segment : m_segments)
        widest = std::max(widest, fontMetrics().horizontalAdvance(segment));
    const int count = std::max<int>(1, int(m_segments.size()));
    return {count * (widest + 8), sizeHint().height()};
}

// Equal shares of the width; the last segment takes the rounding remainder.
QRect SegmentedControl::segmentRect(int index) const
{
    if (index < 0 || index >= m_segments.size())
        return {};
    const int count = int(m_segments.size());
    const int left = width() * index / count;
    const int right = width() * (index + 1) / count;
    return {left, 0, right - left, height()};
}

int SegmentedControl::segmentAt(const QPoint& point) const
{
    for (int i = 0; i < m_segments.size(); ++i)
        if (segmentRect(i).contains(point))
            return i;
    return -1;
}

void SegmentedControl::choose(int index)
{
    if (index < 0 || index >= m_segments.size() || index == m_current)
        return;
    setCurrentIndex(index);
    Q_EMIT activated(index);
}

void SegmentedControl::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_pressed = segmentAt(event->position().toPoint());
    update();
}

void SegmentedControl::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseReleaseEvent(event);
    const int released = segmentAt(event->position().toPoint());
    const int pressed = std::exchange(m_pressed, -1);
    update();
    if (released == pressed)
        choose(released);
}

void SegmentedControl::mouseMoveEvent(QMouseEvent* event)
{
    const int hovered = segmentAt(event->position().toPoint());
    if (hovered != m_hovered) {
        m_hovered = hovered;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void SegmentedControl::leaveEvent(QEvent* event)
{
    m_hovered = -1;
    update();
    QWidget::leaveEvent(event);
}

void SegmentedControl::keyPressEvent(QKeyEvent* event)
{
    const bool forward = layoutDirection() == Qt::LeftToRight;
    switch (event->key()) {
    case Qt::Key_Left:
        choose(m_current < 0 ? 0 : m_current + (forward ? -1 : 1));
        break;
    case Qt::Key_Right:
        choose(m_current < 0 ? 0 : m_current + (forward ? 1 : -1));
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void SegmentedControl::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.4);
    const QRectF track = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(whiteAt(0.10), 1));
    painter.setBrush(whiteAt(0.06));
    painter.drawRoundedRect(track, trackRadius, trackRadius);
    for (int i = 0; i < m_segments.size(); ++i)
        paintSegment(painter, i);
    if (hasFocus()) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(track.adjusted(0.5, 0.5, -0.5, -0.5), trackRadius, trackRadius);
    }
}

void SegmentedControl::paintSegment(QPainter& painter, int index) const
{
    const QRect area = segmentRect(index);
    const bool current = index == m_current;
    if (current || index == m_pressed || index == m_hovered) {
        const qreal opacity = current ? 0.20 : index == m_pressed ? 0.12 : 0.06;
        const QRectF thumb =
            QRectF(area).adjusted(thumbInset, thumbInset, -thumbInset, -thumbInset);
        painter.setPen(Qt::NoPen);
        painter.setBrush(whiteAt(opacity));
        painter.drawRoundedRect(thumb, trackRadius - thumbInset, trackRadius - thumbInset);
    } else if (index > 0 && index - 1 != m_current) {
        // A hairline between two segments that are both unselected.
        painter.setPen(QPen(whiteAt(0.12), 1));
        painter.drawLine(QPointF(area.left() + 0.5, area.top() + 6),
                         QPointF(area.left() + 0.5, area.bottom() - 5));
    }
    QColor ink = palette().color(QPalette::WindowText);
    if (!current)
        ink.setAlphaF(0.82f);
    painter.setPen(ink);
    const QString text = fontMetrics().elidedText(m_segments[index], Qt::ElideRight,
                                                  area.width() - 2 * thumbInset - 4);
    painter.drawText(area, Qt::AlignCenter, text);
}

void SegmentedControl::updateAccessibleText()
{
    setAccessibleDescription(m_current < 0 ? QString() : m_segments[m_current]);
}
