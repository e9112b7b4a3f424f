#include "TiffCodec.h"

#include "core/EngineError.h"
#include "core/WorkPools.h"

#include <QColorSpace>
#include <QFileDevice>
#include <QLoggingCategory>
#include <QtConcurrent>
#include <cstdarg>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <numeric>
#include <tiffio.h>

Q_LOGGING_CATEGORY(lcTiff, "tolvane.tiff")

namespace TiffCodec {

namespace {

// libtiff prints to standard error unless told otherwise.
void quietLibtiff()
{
    static std::once_flag once;
    std::call_once(once, [] {
        const auto toLog = [](const char* module, const char* format, va_list args) {
            char text[512];
            std::vsnprintf(text, sizeof text, format, args);
            qCWarning(lcTiff) << (module ? module : "") << text;
        };
        TIFFSetErrorHandler(toLog);
        TIFFSetWarningHandler(toLog);
    });
}

QIODevice& deviceOf(thandle_t handle)
{
    return *static_cast<QIODevice*>(handle);
}

// libtiff only appends and patches what it wrote; it never reads a file it creates.
tmsize_t readDevice(thandle_t, void*, tmsize_t)
{
    return 0;
}

// A file's pages are handed to the disk as each few megabytes are written, so the final sync
// waits only for the last of them.
void startWriteback(QIODevice& device, qint64 before, qint64 after)
{
    constexpr qint64 step = qint64(4) << 20;
    auto* file = qobject_cast<QFileDevice*>(&device);
    if (!file || before / step == after / step || !file->flush())
        return;
    sync_file_range(file->handle(), (after / step - 1) * step, step, SYNC_FILE_RANGE_WRITE);
}

tmsize_t writeDevice(thandle_t handle, void* data, tmsize_t count)
{
    QIODevice& device = deviceOf(handle);
    const qint64 before = device.pos();
    const qint64 written = device.write(static_cast<const char*>(data), qint64(count));
    if (written > 0)
        startWriteback(device, before, device.pos());
    return tmsize_t(written);
}

toff_t seekDevice(thandle_t handle, toff_t offset, int whence)
{
    QIODevice& device = deviceOf(handle);
    const qint64 base = whence == SEEK_CUR ? device.pos() : whence == SEEK_END ? device.size() : 0;
    return device.seek(base + qint64(offset)) ? toff_t(device.pos()) : toff_t(-1);
}

int closeDevice(thandle_t)
{
    return 0;
}

toff_t sizeOfDevice(thandle_t handle)
{
    return toff_t(deviceOf(handle).size());
}

int mapDevice(thandle_t, void**, toff_t*)
{
    return 0;
}

void unmapDevice(thandle_t, void*, toff_t) {}

using Tiff = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

// How the image's pixels are stored: the Qt format rows are converted to, and the tags.
struct Layout {
    QImage::Format format;
    uint16_t photometric;
    uint16_t samples;
    uint16_t bits;
    uint16_t alpha = 0; // an EXTRASAMPLE_ value when the last sample is alpha
};

bool isGreyTable(const QList<QRgb>& table)
{
    if (table.size() != 256)
        return false;
    for (int i = 0; i < 256; ++i)
        if (table[i] != qRgb(i, i, i))
            return false;
    return true;
}

Layout layoutOf(const QImage& image)
{
    const QImage::Format format = image.format();
    const bool indexed = format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
                         format == QImage::Format_MonoLSB;
    if (format == QImage::Format_Grayscale8 || (indexed && isGreyTable(image.colorTable())))
        return {QImage::Format_Grayscale8, PHOTOMETRIC_MINISBLACK, 1, 8};
    if (format == QImage::Format_Grayscale16)
        return {QImage::Format_Grayscale16, PHOTOMETRIC_MINISBLACK, 1, 16};
    if (indexed && !image.hasAlphaChannel())
        return {QImage::Format_Indexed8, PHOTOMETRIC_PALETTE, 1, 8};
    const bool deep = image.depth() >= 64;
    const bool premultiplied =
        format != QImage::Format_ARGB32 && format != QImage::Format_RGBA8888 &&
        format != QImage::Format_RGBA64 && format != QImage::Format_RGBA16FPx4 &&
        format != QImage::Format_RGBA32FPx4;
    const uint16_t extra = premultiplied ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
    if (deep && !image.hasAlphaChannel())
        return {QImage::Format_RGBX64, PHOTOMETRIC_RGB, 3, 16};
    if (deep)
        return {premultiplied ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64,
                PHOTOMETRIC_RGB, 4, 16, extra};
    if (!image.hasAlphaChannel())
        return {QImage::Format_RGB888, PHOTOMETRIC_RGB, 3, 8};
    return {premultiplied ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888,
            PHOTOMETRIC_RGB, 4, 8, extra};
}

qint64 rowBytes(const Layout& layout, int width)
{
    return qint64(width) * layout.samples * layout.bits / 8;
}

// Rows [first, first + count) of the source in the layout, packed without padding into `out`.
void packRows(const QImage& image, const Layout& layout, int first, int count, uchar* out)
{
    // A view of the source rows, not a copy.
    QImage rows(image.constScanLine(first), image.width(), count, image.bytesPerLine(),
                image.format());
    if (!image.colorTable().isEmpty())
        rows.setColorTable(image.colorTable());
    const QImage converted =
        rows.format() == layout.format ? rows : rows.convertToFormat(layout.format);
    const qint64 bytes = rowBytes(layout, image.width());
    for (int y = 0; y < count; ++y) {
        const uchar* line = converted.constScanLine(y);
        uchar* target = out + y * bytes;
        if (layout.format == QImage::Format_RGBX64) {
            // Qt keeps a fourth, unused channel; TIFF stores three.
            const auto* from = reinterpret_cast<const quint16*>(line);
            auto* to = reinterpret_cast<quint16*>(target);
            for (int x = 0; x < image.width(); ++x)
                std::memcpy(to + 3 * x, from + 4 * x, 6);
        } else {
            std::memcpy(target, line, size_t(bytes));
        }
    }
}

bool setTags(TIFF* tiff, const QImage& image, const Layout& layout, uint32_t rowsPerStrip)
{
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, uint32_t(image.width())) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, uint32_t(image.height())) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, layout.photometric) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, layout.samples) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, layout.bits) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    if (layout.alpha)
        ok = ok && TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &layout.alpha);
    // Whole dots per centimetre are stored as such; anything else as dots per inch.
    const int xDpm = image.dotsPerMeterX();
    const int yDpm = image.dotsPerMeterY();
    if (xDpm % 100 == 0 && yDpm % 100 == 0)
        ok = ok && TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER) &&
             TIFFSetField(tiff, TIFFTAG_XRESOLUTION, xDpm / 100.0) &&
             TIFFSetField(tiff, TIFFTAG_YRESOLUTION, yDpm / 100.0);
    else
        ok = ok && TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
             TIFFSetField(tiff, TIFFTAG_XRESOLUTION, float(image.logicalDpiX())) &&
             TIFFSetField(tiff, TIFFTAG_YRESOLUTION, float(image.logicalDpiY()));
    const QByteArray icc = image.colorSpace().iccProfile();
    if (!icc.isEmpty())
        ok = ok && TIFFSetField(tiff, TIFFTAG_ICCPROFILE, uint32_t(icc.size()), icc.constData());
    if (layout.photometric == PHOTOMETRIC_PALETTE) {
        std::vector<uint16_t> red(256, 0), green(256, 0), blue(256, 0);
        const QList<QRgb> table = image.colorTable();
        for (int i = 0; i < std::min<int>(256, int(table.size())); ++i) {
            red[size_t(i)] = uint16_t(qRed(table[i]) * 257);
            green[size_t(i)] = uint16_t(qGreen(table[i]) * 257);
            blue[size_t(i)] = uint16_t(qBlue(table[i]) * 257);
        }
        ok = ok && TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    return ok;
}

// Strips are converted in parallel, a small batch at a time so the buffer stays in the cache,
// and handed to libtiff as they are: uncompressed data needs no encoding.
bool writeStrips(TIFF* tiff, const QImage& source, const Layout& layout, int rowsPerStrip)
{
    const qint64 stripBytes = rowBytes(layout, source.width()) * rowsPerStrip;
    const int strips = (source.height() + rowsPerStrip - 1) / rowsPerStrip;
    const int batch =
        std::max(WorkPools::parts().maxThreadCount(), int((qint64(8) << 20) / stripBytes));
    QByteArray buffer(std::min<qint64>(batch, strips) * stripBytes, Qt::Uninitialized);
    for (int first = 0; first < strips; first += batch) {
        std::vector<int> indices(size_t(std::min(batch, strips - first)));
        std::iota(indices.begin(), indices.end(), first);
        QtConcurrent::blockingMap(&WorkPools::parts(), indices, [&](int strip) {
            const int y = strip * rowsPerStrip;
            const int rows = std::min(rowsPerStrip, source.height() - y);
            packRows(source, layout, y, rows,
                     reinterpret_cast<uchar*>(buffer.data()) + (strip - first) * stripBytes);
        });
        for (int strip : indices) {
            const int rows = std::min(rowsPerStrip, source.height() - strip * rowsPerStrip);
            const tmsize_t size = tmsize_t(rowBytes(layout, source.width()) * rows);
            if (TIFFWriteRawStrip(tiff, uint32_t(strip),
                                  buffer.data() + (strip - first) * stripBytes, size) != size)
                return false;
        }
    }
    return true;
}

} // namespace

bool write(const QImage& image, QIODevice& device)
{
    quietLibtiff();
    const Layout layout = layoutOf(image);
    // About 256 KiB per strip: small enough to spread over the cores, large enough to be cheap.
    const qint64 bytesPerRow = rowBytes(layout, image.width());
    const int rowsPerStrip =
        int(std::clamp<qint64>((qint64(1) << 18) / bytesPerRow, 1, std::max(1, image.height())));
    try {
        Tiff tiff(TIFFClientOpen("tiff", "w", &device, readDevice, writeDevice, seekDevice,
                                 closeDevice, sizeOfDevice, mapDevice, unmapDevice),
                  TIFFClose);
        return tiff && setTags(tiff.get(), image, layout, uint32_t(rowsPerStrip)) &&
               writeStrips(tiff.get(), image, layout, rowsPerStrip) &&
               TIFFWriteDirectory(tiff.get());
    } catch (const std::bad_alloc&) {
        throw ImageError::outOfMemory();
    }
}

} // namespace TiffCodec
