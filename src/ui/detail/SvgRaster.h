#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <memory>

// One parsed SVG document, drawn on demand at any size. The document never loads anything from
// outside its own text: it has no base file, so every reference but a data: URL resolves to
// nothing. Not thread-safe: render from one thread at a time.
class SvgRaster {
public:
    // Parses UTF-8 SVG text; null when it is not a document librsvg can draw.
    static std::shared_ptr<SvgRaster> parse(const QByteArray& text);
    ~SvgRaster();

    // A premultiplied image of `size` pixels for a screen of pixel ratio `ratio`: the page
    // checkerboard (#eeeae1 with #dadbd3 squares of 12 points, a light square at the origin) with
    // the drawing fitted, aspect kept, into the centred box of 90 % of each side. Null when
    // `size` is empty or the memory cannot be had.
    QImage render(QSize size, qreal ratio = 1) const;

    // Paints the page checkerboard over `image` (premultiplied, 32 bits per pixel), its squares
    // 12 points on a side at the image's pixel ratio.
    static void paintPage(QImage& image);

    SvgRaster(const SvgRaster&) = delete;
    SvgRaster& operator=(const SvgRaster&) = delete;

private:
    struct Handle;
    explicit SvgRaster(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};
