#include "ImageWriter.h"

#include "HeifCodec.h"
#include "PixelBuffer.h"
#include "PngCodec.h"
#include "TiffCodec.h"
#include "WebpCodec.h"
#include "core/EngineError.h"
#include "core/FileNames.h"

#include <QBuffer>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <algorithm>
#include <cmath>

namespace ImageWriter {

namespace {

SvgWriter& svgWriter()
{
    static SvgWriter writer;
    return writer;
}

// Encoders take 0…100; NaN counts as the default quality. Clamped before any conversion so a
// huge value cannot overflow into quality 0.
int encoderQuality(double quality)
{
    if (std::isnan(quality))
        quality = 0.92;
    return int(std::lround(std::clamp(quality, 0.0, 1.0) * 100.0));
}

// Qt's writers report only what they can see: encoding into memory leaves every write to the
// checked store below.
QByteArray encodeWithQt(const QImage& image, const char* format, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image))
        return {};
    return bytes;
}

// Palette writers drop the alpha of indexed images; give them full-colour pixels instead.
QImage withoutPalette(const QImage& image)
{
    const QImage::Format format = image.format();
    const bool indexed = format == QImage::Format_Indexed8 || format == QImage::Format_Mono ||
                         format == QImage::Format_MonoLSB;
    if (!indexed || !image.hasAlphaChannel())
        return image;
    QImage converted = image.convertToFormat(QImage::Format_RGBA8888);
    if (converted.isNull())
        throw ImageError::outOfMemory();
    return converted;
}

// Encoded bytes reach the path whole or not at all.
void writeEncoded(const QByteArray& encoded, const QString& path)
{
    QSaveFile file(path);
    if (encoded.isEmpty() || !file.open(QIODevice::WriteOnly) ||
        file.write(encoded) != encoded.size() || !file.commit())
        throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
}

// The one format written as it is encoded; the file still appears whole or not at all.
void writeTiff(const QImage& image, const QString& path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !TiffCodec::write(image, file) || !file.commit())
        throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
}

void writeWebP(const QImage& image, const QString& path, double quality, bool lossless)
{
    if (!lossless && std::isnan(quality))
        throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
    const float factor = float(std::clamp(quality, 0.0, 1.0) * 100.0);
    const PixelBuffer buffer = PixelBuffer::from(image);
    writeEncoded(WebpCodec::encode(buffer, lossless, factor), path);
}

} // namespace

void write(const QImage& source, const QString& path, OutputFormat format, double quality,
           bool webpLossless)
{
    if (source.isNull())
        throw ImageError::outOfMemory();
    checkFits(format, source.width(), source.height());
    const QImage image = withoutPalette(source);
    switch (format) {
    case OutputFormat::same:
    case OutputFormat::png:
        writeEncoded(PngCodec::encode(image), path);
        return;
    case OutputFormat::jpeg:
        writeEncoded(encodeWithQt(image.hasAlphaChannel() ? flatten(image) : image, "jpeg",
                                  encoderQuality(quality)),
                     path);
        return;
    case OutputFormat::webp:
        writeWebP(image, path, quality, webpLossless);
        return;
    case OutputFormat::heic:
        writeEncoded(HeifCodec::encode(image, encoderQuality(quality)), path);
        return;
    case OutputFormat::tiff:
        writeTiff(image, path);
        return;
    case OutputFormat::svg:
        if (!svgWriter())
            throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
        svgWriter()(image, path);
        return;
    }
}

void checkFits(OutputFormat format, qint64 width, qint64 height)
{
    const auto over = [&](qint64 side) { return width > side || height > side; };
    if (format == OutputFormat::webp && over(ImageError::webpMaxSide))
        throw ImageError::webpTooLarge(width, height);
    if (format == OutputFormat::jpeg && over(ImageError::jpegMaxSide))
        throw ImageError::jpegTooLarge(width, height);
    if (format == OutputFormat::heic && over(ImageError::heicMaxSide))
        throw ImageError::heicTooLarge(width, height);
    if (format == OutputFormat::heic && !heicCanHold(width, height))
        throw ImageError::heicShape(width, height);
}

bool heicCanHold(qint64 width, qint64 height)
{
    return HeifCodec::canEncode(width, height);
}

void setSvgWriter(SvgWriter writer)
{
    svgWriter() = std::move(writer);
}

QImage flatten(const QImage& image)
{
    QImage flat(image.size(), QImage::Format_RGBX8888);
    if (flat.isNull())
        throw ImageError::outOfMemory();
    flat.setColorSpace(sRGB());
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, image);
    painter.end();
    return flat;
}

} // namespace ImageWriter
