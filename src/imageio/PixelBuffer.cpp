#include "PixelBuffer.h"

#include "core/EngineError.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

const QColorSpace& sRGB()
{
    static const QColorSpace space(QColorSpace::SRgb);
    return space;
}

namespace {
// The largest raster the engine ever makes is well below this; anything above is a size
// computation gone wrong or an image nobody can hold.
constexpr qint64 maxBytes = qint64(1) << 40;
} // namespace

PixelBuffer::PixelBuffer(qint64 width, qint64 height)
    : m_width(width), m_height(height), m_data(nullptr), m_owned(true)
{
    if (width <= 0 || height <= 0 || width > maxBytes / 4 / height)
        throw ImageError::outOfMemory();
    m_data = static_cast<std::uint8_t*>(std::calloc(static_cast<size_t>(4 * width * height), 1));
    if (!m_data)
        throw ImageError::outOfMemory();
}

PixelBuffer::~PixelBuffer()
{
    if (m_owned)
        std::free(m_data);
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : m_width(other.m_width), m_height(other.m_height), m_data(other.m_data), m_owned(other.m_owned)
{
    other.m_data = nullptr;
    other.m_owned = false;
}

namespace {
bool isPremultiplied(QImage::Format format)
{
    switch (format) {
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_A2BGR30_Premultiplied:
    case QImage::Format_A2RGB30_Premultiplied:
    case QImage::Format_RGBA64_Premultiplied:
    case QImage::Format_RGBA16FPx4_Premultiplied:
    case QImage::Format_RGBA32FPx4_Premultiplied:
    case QImage::Format_ARGB8565_Premultiplied:
    case QImage::Format_ARGB6666_Premultiplied:
    case QImage::Format_ARGB8555_Premultiplied:
    case QImage::Format_ARGB4444_Premultiplied:
        return true;
    default:
        return false;
    }
}

// Converts a band of rows at a time so a large image is never held twice in memory.
constexpr int bandRows = 256;
} // namespace

PixelBuffer PixelBuffer::from(const QImage& image)
{
    if (image.isNull())
        throw ImageError::outOfMemory();
    PixelBuffer buffer(image.width(), image.height());
    const bool premultiplied = isPremultiplied(image.format());
    const QImage::Format target =
        premultiplied ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888;
    const bool convertSpace = image.colorSpace().isValid() && image.colorSpace() != sRGB();
    for (int y0 = 0; y0 < image.height(); y0 += bandRows) {
        const int rows = std::min(bandRows, image.height() - y0);
        QImage band = image.copy(0, y0, image.width(), rows);
        if (convertSpace)
            band.convertToColorSpace(sRGB());
        band.convertTo(target);
        if (band.isNull() || band.format() != target)
            throw ImageError::outOfMemory();
        for (int y = 0; y < rows; ++y)
            std::memcpy(buffer.row(y0 + y), band.constScanLine(y), size_t(buffer.bytesPerRow()));
    }
    if (premultiplied)
        buffer.unpremultiply();
    return buffer;
}

void PixelBuffer::unpremultiply()
{
    const qint64 count = m_width * m_height;
    std::uint8_t* p = m_data;
    for (qint64 i = 0; i < count; ++i, p += 4) {
        const std::uint8_t a = p[3];
        if (a == 0 || a == 255)
            continue;
        const float f = 255.0f / float(a);
        for (int k = 0; k < 3; ++k)
            p[k] = static_cast<std::uint8_t>(std::min(float(p[k]) * f + 0.5f, 255.0f));
    }
}

QImage PixelBuffer::makeImage(bool hasAlpha)
{
    if (!m_owned || !m_data)
        return {};
    QImage image(m_data, int(m_width), int(m_height), qsizetype(bytesPerRow()),
                 hasAlpha ? QImage::Format_RGBA8888 : QImage::Format_RGBX8888, std::free, m_data);
    if (image.isNull())
        return {};
    image.setColorSpace(sRGB());
    m_owned = false;
    return image;
}
