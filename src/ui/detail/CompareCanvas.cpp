#include "CompareCanvas.h"

#include "kit/Checkerboard.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

CompareCanvas::CompareCanvas(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void CompareCanvas::setImages(const QImage& before, const QImage& after)
{
    m_before = QPixmap::fromImage(before);
    m_after = QPixmap::fromImage(after);
    update();
}

void CompareCanvas::setDisplayedSize(QSizeF displayed)
{
    if (displayed == m_displayed)
        return;
    m_displayed = displayed;
    update();
}

QRectF CompareCanvas::pictureRect() const
{
    const qreal x = std::max<qreal>(0, (width() - m_displayed.width()) / 2);
    const qreal y = std::max<qreal>(0, (height() - m_displayed.height()) / 2);
    return {QPointF(x, y), m_displayed};
}

void CompareCanvas::setSplit(double split)
{
    if (split == m_split)
        return;
    m_split = split;
    update();
}

void CompareCanvas::paintEvent(QPaintEvent*)
{
    const QRectF picture = pictureRect();
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(picture.topLeft());
    const QRectF local(QPointF(0, 0), picture.size());
    painter.save();
    painter.setClipRect(local);
    Checkerboard::paint(painter, local.size());
    painter.restore();
    painter.drawPixmap(local, m_after, m_after.rect());
    const qreal splitX = local.width() * m_split;
    painter.save();
    painter.setClipRect(QRectF(0, 0, splitX, local.height()));
    painter.drawPixmap(local, m_before, m_before.rect());
    painter.restore();
    paintDivider(painter, splitX - 1, local.height());
}

// White, 2 wide, over a soft black shadow of radius 2.
void CompareCanvas::paintDivider(QPainter& painter, qreal x, qreal height) const
{
    const qreal falloff[] = {0.30, 0.15};
    for (int r = 2; r >= 1; --r)
        painter.fillRect(QRectF(x - r, 0, 2 + 2 * r, height),
                         QColor::fromRgbF(0, 0, 0, float(0.6 * falloff[r - 1])));
    painter.fillRect(QRectF(x, 0, 2, height), Qt::white);
}

void CompareCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !pictureRect().contains(event->position())) {
        event->ignore();
        return;
    }
    m_dragging = true;
    dragTo(event->position().x());
}

void CompareCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging)
        dragTo(event->position().x());
}

void CompareCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_dragging && event->button() == Qt::LeftButton)
        m_dragging = false;
}

// Past either edge the split stays pinned at 0 or 1.
void CompareCanvas::dragTo(qreal x)
{
    const QRectF picture = pictureRect();
    const double split =
        std::clamp((x - picture.x()) / std::max<qreal>(picture.width(), 1), 0.0, 1.0);
    setSplit(split);
    Q_EMIT splitDragged(split);
}
