#include "ImageWriter.h"

#include "HeifCodec.h"
#include "PixelBuffer.h"
#include "PngCodec.h"
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

// Encoders take 0…100; anything not finite counts as the default quality.
int encoderQuality(double quality)
{
    if (!std::isfinite(quality))
        quality = 0.92;
    return int(std::clamp<long>(std::lround(quality * 100.0), 0, 100));
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

void writeWebP(const QImage& image, const QString& path, double quality, bool lossless)
{
    if (image.width() > webpMaxSide || image.height() > webpMaxSide)
        throw ImageError::webpTooLarge(image.width(), image.height());
    const QString name = FileNames::lastPathComponent(path);
    const float factor = float(quality * 100.0);
    if (!lossless && !std::isfinite(factor))
        throw ImageError::cannotWrite(name);
    const PixelBuffer buffer = PixelBuffer::from(image);
    writeEncoded(WebpCodec::encode(buffer, lossless, std::clamp(factor, 0.0f, 100.0f)), path);
}

} // namespace

void write(const QImage& source, const QString& path, OutputFormat format, double quality,
           bool webpLossless)
{
    if (source.isNull())
        throw ImageError::outOfMemory();
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
        if (!heicCanHold(image.width(), image.height()))
            throw ImageError::heicShape(image.width(), image.height());
        writeEncoded(HeifCodec::encode(image, encoderQuality(quality)), path);
        return;
    case OutputFormat::tiff:
        writeEncoded(encodeWithQt(image, "tiff", -1), path);
        return;
    case OutputFormat::svg:
        if (!svgWriter())
            throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
        svgWriter()(image, path);
        return;
    }
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
