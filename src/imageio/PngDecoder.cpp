#include "PngCodec.h"

#include <QColorSpace>
#include <QIODevice>
#include <QtEndian>
#include <csetjmp>
#include <png.h>
#include <vector>

namespace {

constexpr char signature[] = "\x89PNG\r\n\x1a\n";

// Walks the chunks before the image data: IHDR's depth and colour type, and whether tRNS comes.
bool isDeepRgbWithTransparentColour(QIODevice& file)
{
    if (!file.seek(0))
        return false;
    const QByteArray head = file.read(8);
    if (head != QByteArray(signature, 8))
        return false;
    bool deepRgb = false;
    for (int chunks = 0; chunks < 64; ++chunks) {
        const QByteArray chunk = file.read(8);
        if (chunk.size() < 8)
            return false;
        const quint32 length = qFromBigEndian<quint32>(chunk.constData());
        const QByteArray type = chunk.mid(4, 4);
        if (type == "IHDR") {
            const QByteArray data = file.read(13);
            deepRgb = data.size() == 13 && quint8(data[8]) == 16 && quint8(data[9]) == 2;
            if (!deepRgb)
                return false;
            file.skip(4);
            continue;
        }
        if (type == "tRNS")
            return deepRgb;
        if (type == "IDAT" || type == "IEND")
            return false;
        if (length > (1u << 30) || file.skip(qint64(length) + 4) != qint64(length) + 4)
            return false;
    }
    return false;
}

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;

    ~Reader() { png_destroy_read_struct(&png, &info, nullptr); }
};

void silent(png_structp, png_const_charp) {}

void failed(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void readDevice(png_structp png, png_bytep data, png_size_t length)
{
    auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
    if (device->read(reinterpret_cast<char*>(data), qint64(length)) != qint64(length))
        png_error(png, "short read");
}

// Reads the header and sets up 16-bit RGBA output in native byte order. The declared size is
// checked against `maxBytes` before libpng sizes its row buffers from it. Only plain values live
// across the jump.
bool readHeader(Reader& reader, QIODevice& file, qint64 maxBytes, png_uint_32& width,
                png_uint_32& height)
{
    if (setjmp(png_jmpbuf(reader.png)))
        return false;
    png_set_read_fn(reader.png, &file, readDevice);
    png_set_user_limits(reader.png, 0x7fffffff, 0x7fffffff);
    png_read_info(reader.png, reader.info);
    width = png_get_image_width(reader.png, reader.info);
    height = png_get_image_height(reader.png, reader.info);
    if (width == 0 || height == 0 || qint64(width) * qint64(height) * 8 > maxBytes)
        return false;
    png_set_expand(reader.png); // palette and low-depth grey to 8 bits, tRNS to alpha
    png_set_expand_16(reader.png);
    png_set_gray_to_rgb(reader.png);
    png_set_add_alpha(reader.png, 0xffff, PNG_FILLER_AFTER);
    if (QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(reader.png);
    png_set_interlace_handling(reader.png);
    png_read_update_info(reader.png, reader.info);
    return png_get_rowbytes(reader.png, reader.info) == png_size_t(width) * 8;
}

bool readRows(Reader& reader, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(reader.png)))
        return false;
    png_read_image(reader.png, rows);
    png_read_end(reader.png, nullptr);
    return true;
}

QColorSpace colourSpaceOf(const Reader& reader)
{
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(reader.png, reader.info, &name, &compression, &profile, &length) && profile &&
        length > 0) {
        const QColorSpace space = QColorSpace::fromIccProfile(
            QByteArray(reinterpret_cast<const char*>(profile), qsizetype(length)));
        if (space.isValid())
            return space;
    }
    return QColorSpace(QColorSpace::SRgb);
}

} // namespace

namespace PngCodec {

bool needsOwnDecoder(QIODevice& file)
{
    return file.isOpen() && isDeepRgbWithTransparentColour(file);
}

QImage decode(QIODevice& file, qint64 maxBytes)
{
    Reader reader;
    if (!file.isOpen() || !file.seek(0))
        return {};
    reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, failed, silent);
    if (!reader.png)
        return {};
    reader.info = png_create_info_struct(reader.png);
    if (!reader.info)
        return {};
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    if (!readHeader(reader, file, maxBytes, width, height))
        return {};
    QImage image(int(width), int(height), QImage::Format_RGBA64);
    if (image.isNull())
        return {};
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = image.scanLine(int(y));
    if (!readRows(reader, rows.data()))
        return {};
    image.setColorSpace(colourSpaceOf(reader));
    return image;
}

} // namespace PngCodec
