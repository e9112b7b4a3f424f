#include "CompareCanvas.h"

#include "core/Async.h"
#include "core/WorkPools.h"
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

// The part `target` of a picture of `size` over which `image` is stretched whole.
void drawPart(QPainter& painter, const QImage& image, QSizeF size, const QRectF& target)
{
    if (target.isEmpty() || image.isNull())
        return;
    const qreal sx = image.width() / size.width();
    const qreal sy = image.height() / size.height();
    painter.drawImage(
        target, image,
        QRectF(target.x() * sx, target.y() * sy, target.width() * sx, target.height() * sy));
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

// Until the copies for the new size are ready the previous ones are drawn, stretched.
void CompareCanvas::setDisplayedSize(QSizeF displayed)
{
    if (displayed == m_displayed)
        return;
    m_displayed = displayed;
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

// The two copies side by side: the first picture waits for the slower one only.
CompareCanvas::Copies CompareCanvas::makeCopies(const QImage& before, const QImage& after,
                                                QSize pixels)
{
    QFuture<QImage> reducedBefore =
        QtConcurrent::run(&WorkPools::parts(), areaAveraged, before, pixels);
    QImage reducedAfter = areaAveraged(after, pixels);
    return {pixels, reducedBefore.result(), std::move(reducedAfter)};
}

// One reduction at a time; a size that changed meanwhile is reduced next, and the copies just
// made are drawn until then.
void CompareCanvas::reduce()
{
    if (m_reducing || isReduced())
        return;
    m_reducing = true;
    auto copies = QtConcurrent::run(&WorkPools::views(), &CompareCanvas::makeCopies, m_before,
                                    m_after, wantedPixels());
    whenFinished(copies, this, [this, images = m_imagesSet](Copies made) {
        m_reducing = false;
        if (images != m_imagesSet)
            return reduce();
        m_copies = std::move(made);
        update();
        if (!isReduced())
            return reduce();
        Q_EMIT reduced();
    });
}

QRectF CompareCanvas::pictureRect() const
{
    const qreal x = std::max<qreal>(0, (width() - m_displayed.width()) / 2);
    const qreal y = std::max<qreal>(0, (height() - m_displayed.height()) / 2);
    return {QPointF(x, y), m_displayed};
}

qreal CompareCanvas::dividerX(double split) const
{
    const QRectF picture = pictureRect();
    return picture.x() + picture.width() * split;
}

// Only the band the divider crossed changes, its shadow included.
void CompareCanvas::setSplit(double split)
{
    if (split == m_split)
        return;
    const qreal from = dividerX(m_split);
    const qreal to = dividerX(split);
    m_split = split;
    const QRectF picture = pictureRect();
    constexpr qreal reach = 4; // the divider's half width and its shadow
    update(QRectF(std::min(from, to) - reach, picture.y(), std::abs(to - from) + 2 * reach,
                  picture.height())
               .toAlignedRect());
}

// The preview, or where the picture shrinks it, a reduced copy: the one for this size or, until
// that is ready, the previous one stretched. A shrunk preview itself would alias.
const QImage& CompareCanvas::source(const QImage& preview, const QImage& copy) const
{
    return !copy.isNull() && shrinks(preview, wantedPixels()) ? copy : preview;
}

// Only what is exposed is drawn: magnified, the picture is many times the size of the window.
void CompareCanvas::paintEvent(QPaintEvent* event)
{
    reduce(); // a new screen may want other copies
    const QRectF picture = pictureRect();
    const QSizeF size = picture.size();
    const QRectF exposed =
        QRectF(event->rect()).translated(-picture.topLeft()).intersected({{0, 0}, size});
    if (exposed.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.translate(picture.topLeft());
    Checkerboard::paint(painter, size, exposed);
    drawPart(painter, source(m_after, m_copies.after), size, exposed);
    const qreal splitX = size.width() * m_split;
    drawPart(painter, source(m_before, m_copies.before), size,
             exposed.intersected(QRectF(0, 0, splitX, size.height())));
    paintDivider(painter, splitX - 1, exposed);
}

// White, 2 wide, over a soft black shadow of radius 2; as tall as what is exposed.
void CompareCanvas::paintDivider(QPainter& painter, qreal x, const QRectF& exposed) const
{
    const qreal falloff[] = {0.30, 0.15};
    const qreal top = exposed.top();
    const qreal height = exposed.height();
    for (int r = 2; r >= 1; --r)
        painter.fillRect(QRectF(x - r, top, 2 + 2 * r, height),
                         QColor::fromRgbF(0, 0, 0, float(0.6 * falloff[r - 1])));
    painter.fillRect(QRectF(x, top, 2, height), Qt::white);
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
