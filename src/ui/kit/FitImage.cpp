#include "FitImage.h"

#include <QPainter>

FitImage::FitImage(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void FitImage::setImage(const QImage& image)
{
    m_image = image;
    m_scaled = {};
    updateGeometry();
    update();
}

QRectF FitImage::fittedRect(const QSizeF& imageSize, const QRectF& box)
{
    if (imageSize.isEmpty() || box.isEmpty())
        return {};
    const QSizeF fitted = imageSize.scaled(box.size(), Qt::KeepAspectRatio);
    QRectF rect(QPointF(), fitted);
    rect.moveCenter(box.center());
    return rect;
}

QSize FitImage::sizeHint() const
{
    return m_image.isNull() ? QSize(0, 0) : m_image.deviceIndependentSize().toSize();
}

void FitImage::paintEvent(QPaintEvent*)
{
    const QRectF target = fittedRect(m_image.size(), rect());
    if (target.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    const QSize pixels = (target.size() * ratio).toSize();
    if (m_scaled.size() != pixels) {
        m_scaled = QPixmap::fromImage(
            m_image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(ratio);
    }
    QPainter painter(this);
    painter.drawPixmap(target.topLeft(), m_scaled);
}
