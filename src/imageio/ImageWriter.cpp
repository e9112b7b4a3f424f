#include "ImageWriter.h"

#include "HeifCodec.h"
#include "PixelBuffer.h"
#include "WebpCodec.h"
#include "core/EngineError.h"
#include "core/FileNames.h"

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

void writeWithQt(const QImage& image, const QString& path, const char* format, int quality)
{
    QImageWriter writer(path, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(image))
        throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
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

void write(const QImage& image, const QString& path, OutputFormat format, double quality,
           bool webpLossless)
{
    if (image.isNull())
        throw ImageError::outOfMemory();
    switch (format) {
    case OutputFormat::same:
    case OutputFormat::png:
        writeWithQt(image, path, "png", -1);
        return;
    case OutputFormat::jpeg:
        writeWithQt(image.hasAlphaChannel() ? flatten(image) : image, path, "jpeg",
                    encoderQuality(quality));
        return;
    case OutputFormat::webp:
        writeWebP(image, path, quality, webpLossless);
        return;
    case OutputFormat::heic:
        writeEncoded(HeifCodec::encode(image, encoderQuality(quality)), path);
        return;
    case OutputFormat::tiff:
        writeWithQt(image, path, "tiff", -1);
        return;
    case OutputFormat::svg:
        if (!svgWriter())
            throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
        svgWriter()(image, path);
        return;
    }
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
