#pragma once

#include <QColorSpace>
#include <QImage>
#include <cstdint>

// The one colour space of the engine's rasters.
const QColorSpace& sRGB();

// An 8-bit RGBA raster with straight alpha: `height` rows of 4 * `width` bytes without gaps,
// bytes R, G, B, A. The buffer frees its memory unless makeImage() has handed it over.
class PixelBuffer {
public:
    // A zero-filled buffer. Throws ImageError::outOfMemory when the size overflows or the
    // memory cannot be had.
    PixelBuffer(qint64 width, qint64 height);
    ~PixelBuffer();
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&&) = delete;
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    // Redraws any image, converted to sRGB, into a new straight-alpha buffer.
    // Throws ImageError::outOfMemory.
    static PixelBuffer from(const QImage& image);

    // Converts premultiplied colour to straight colour in place: c * (255 / a) + 0.5 in single
    // precision, truncated and clipped at 255. Pixels with alpha 0 or 255 are left alone.
    void unpremultiply();

    // Wraps the memory in an image without copying; the image frees it from then on and this
    // buffer must not be written again. Without alpha, the fourth byte of each pixel is ignored.
    // Returns a null image, keeping ownership, when the image cannot be made.
    QImage makeImage(bool hasAlpha);

    qint64 width() const { return m_width; }
    qint64 height() const { return m_height; }
    std::uint8_t* data() { return m_data; }
    const std::uint8_t* data() const { return m_data; }
    qint64 bytesPerRow() const { return 4 * m_width; }
    std::uint8_t* row(qint64 y) { return m_data + y * bytesPerRow(); }
    const std::uint8_t* row(qint64 y) const { return m_data + y * bytesPerRow(); }
    bool owned() const { return m_owned; }

private:
    qint64 m_width;
    qint64 m_height;
    std::uint8_t* m_data;
    bool m_owned;
};
