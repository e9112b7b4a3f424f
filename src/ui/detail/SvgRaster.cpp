#include "SvgRaster.h"

#include <QLoggingCategory>
#include <QPainter>
#include <cairo.h>
#include <librsvg/rsvg.h>

namespace {

Q_LOGGING_CATEGORY(svgLog, "tolvane.svg")

struct GObjectUnref {
    void operator()(RsvgHandle* handle) const { g_object_unref(handle); }
};

void logAndFree(GError* error)
{
    if (!error)
        return;
    qCWarning(svgLog) << error->message;
    g_error_free(error);
}

} // namespace

struct SvgRaster::Handle {
    std::unique_ptr<RsvgHandle, GObjectUnref> rsvg;
};

SvgRaster::SvgRaster(std::unique_ptr<Handle> handle) : m_handle(std::move(handle)) {}

SvgRaster::~SvgRaster() = default;

std::shared_ptr<SvgRaster> SvgRaster::parse(const QByteArray& text)
{
    GError* error = nullptr;
    // No base file: librsvg then refuses every external reference.
    std::unique_ptr<RsvgHandle, GObjectUnref> rsvg(rsvg_handle_new_from_data(
        reinterpret_cast<const guint8*>(text.constData()), gsize(text.size()), &error));
    if (!rsvg) {
        logAndFree(error);
        return nullptr;
    }
    auto handle = std::make_unique<Handle>();
    handle->rsvg = std::move(rsvg);
    return std::shared_ptr<SvgRaster>(new SvgRaster(std::move(handle)));
}

void SvgRaster::paintPage(QImage& image)
{
    constexpr int cell = 12;
    image.fill(QColor(0xee, 0xea, 0xe1));
    // The painter works in points: the image's pixel ratio scales the cells with the screen.
    QPainter painter(&image);
    const QSizeF page = image.deviceIndependentSize();
    const QColor dark(0xda, 0xdb, 0xd3);
    for (int y = 0; y < page.height(); y += cell)
        for (int x = (y / cell) % 2 ? 0 : cell; x < page.width(); x += 2 * cell)
            painter.fillRect(x, y, cell, cell, dark);
}

QImage SvgRaster::render(QSize size, qreal ratio) const
{
    if (size.isEmpty())
        return {};
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    image.setDevicePixelRatio(ratio);
    paintPage(image);
    // Cairo's ARGB32 is Qt's premultiplied ARGB32: both are native-endian 32-bit words.
    cairo_surface_t* surface =
        cairo_image_surface_create_for_data(image.bits(), CAIRO_FORMAT_ARGB32, image.width(),
                                            image.height(), int(image.bytesPerLine()));
    cairo_t* cr = cairo_create(surface);
    const RsvgRectangle box{size.width() * 0.05, size.height() * 0.05, size.width() * 0.9,
                            size.height() * 0.9};
    GError* error = nullptr;
    if (!rsvg_handle_render_document(m_handle->rsvg.get(), cr, &box, &error))
        logAndFree(error);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    return image;
}
