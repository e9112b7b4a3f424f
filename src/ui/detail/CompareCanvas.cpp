#include "CompareCanvas.h"

#include "core/Async.h"
#include "kit/Checkerboard.h"

#include <QMouseEvent>
#include <QPainter>
#include <QtConcurrent>
#include <algorithm>

namespace {

bool shrinks(const QImage& image, QSize pixels)
{
    return image.width() > pixels.width() || image.height() > pixels.height();
}

// Area averaging: every pixel of the preview counts, so fine detail turns to its mean colour
// instead of the false patterns that sampling leaves.
QImage areaAveraged(const QImage& image, QSize pixels)
{
    if (!shrinks(image, pixels))
        return {};
    const QImage::Format format =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    return image.convertToFormat(format).scaled(pixels, Qt::IgnoreAspectRatio,
                                                Qt::SmoothTransformation);
}

} // namespace

CompareCanvas::CompareCanvas(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void CompareCanvas::setImages(const QImage& before, const QImage& after)
{
    m_before = before;
    m_after = after;
    ++m_imagesSet;
    m_copies = {};
    reduce();
    update();
}

void CompareCanvas::setDisplayedSize(QSizeF displayed)
{
    if (displayed == m_displayed)
        return;
    m_displayed = displayed;
    if (m_copies.pixels != wantedPixels())
        m_copies = {}; // another size's copies are never drawn
    reduce();
    update();
}

QSize CompareCanvas::wantedPixels() const
{
    return (m_displayed * devicePixelRatio()).toSize().expandedTo({1, 1});
}

bool CompareCanvas::isReduced() const
{
    const QSize pixels = wantedPixels();
    if (!shrinks(m_before, pixels) && !shrinks(m_after, pixels))
        return true;
    return m_copies.pixels == pixels;
}

CompareCanvas::Copies CompareCanvas::makeCopies(const QImage& before, const QImage& after,
                                                QSize pixels)
{
    return {pixels, areaAveraged(before, pixels), areaAveraged(after, pixels)};
}

// One reduction at a time; a size that changed meanwhile is reduced next.
void CompareCanvas::reduce()
{
    if (m_reducing || isReduced())
        return;
    m_reducing = true;
    auto copies = QtConcurrent::run(&CompareCanvas::makeCopies, m_before, m_after, wantedPixels());
    whenFinished(copies, this, [this, images = m_imagesSet](Copies made) {
        m_reducing = false;
        if (made.pixels != wantedPixels() || images != m_imagesSet)
            return reduce();
        m_copies = std::move(made);
        update();
        Q_EMIT reduced();
    });
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
    reduce(); // a new screen may want other copies
    const QRectF picture = pictureRect();
    const bool current = m_copies.pixels == wantedPixels();
    const QImage& before = current && !m_copies.before.isNull() ? m_copies.before : m_before;
    const QImage& after = current && !m_copies.after.isNull() ? m_copies.after : m_after;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(picture.topLeft());
    const QRectF local(QPointF(0, 0), picture.size());
    painter.save();
    painter.setClipRect(local);
    Checkerboard::paint(painter, local.size());
    painter.restore();
    painter.drawImage(local, after);
    const qreal splitX = local.width() * m_split;
    painter.save();
    painter.setClipRect(QRectF(0, 0, splitX, local.height()));
    painter.drawImage(local, before);
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
