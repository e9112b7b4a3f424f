#include "ImageLoader.h"

#include "BmpHeader.h"
#include "HeifCodec.h"
#include "PixelBuffer.h"
#include "PngCodec.h"
#include "WebpCodec.h"
#include "core/EngineError.h"
#include "core/FileNames.h"

#include <QBuffer>
#include <QImageReader>
#include <QSemaphore>
#include <QtConcurrent>
#include <algorithm>
#include <cmath>

namespace ImageLoader {

namespace {

void openReader(QImageReader& reader, const QString& path, bool autoTransform)
{
    reader.setDecideFormatFromContent(true);
    reader.setFileName(path);
    reader.setAutoTransform(autoTransform);
}

// Images leave the loader in sRGB so every later step works in one colour space.
QImage toSRGB(QImage image)
{
    if (!image.isNull() && image.colorSpace().isValid() && image.colorSpace() != sRGB())
        image.convertToColorSpace(sRGB());
    return image;
}

QSize fitWithin(QSize size, int maxPixel)
{
    const int longer = std::max(size.width(), size.height());
    if (longer <= maxPixel || longer <= 0)
        return size;
    const double scale = double(maxPixel) / longer;
    return QSize(std::max(1, int(std::lround(size.width() * scale))),
                 std::max(1, int(std::lround(size.height() * scale))));
}

QImage shrinkToFit(const QImage& image, int maxPixel)
{
    const QSize target = fitWithin(image.size(), maxPixel);
    if (image.isNull() || target == image.size())
        return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// Full HEIF decodes take a whole picture's memory and several cores each; an import of many
// photos runs only a few at once so memory stays flat.
QSemaphore& fullHeifDecodes()
{
    static QSemaphore slots(2);
    return slots;
}

QImage heifThumbnail(const QString& path, int maxPixel)
{
    QImage embedded = HeifCodec::embeddedThumbnail(path, maxPixel, decodeLimitBytes);
    if (!embedded.isNull())
        return embedded;
    fullHeifDecodes().acquire();
    const QSemaphoreReleaser slot(fullHeifDecodes(), 1);
    return shrinkToFit(HeifCodec::decode(path, decodeLimitBytes), maxPixel);
}

bool isRotated(const QImageReader& reader)
{
    return reader.transformation() & QImageIOHandler::TransformationRotate90;
}

} // namespace

void configureReaders()
{
    QImageReader::setAllocationLimit(int(decodeLimitBytes >> 20));
}

const QSet<QString>& supportedExtensions()
{
    static const QSet<QString> extensions{"png", "jpg",  "jpeg", "webp", "heic", "heif",
                                          "tif", "tiff", "bmp",  "gif",  "avif"};
    return extensions;
}

std::optional<QSize> pixelSize(const QString& path)
{
    if (HeifCodec::sniff(path))
        return HeifCodec::pixelSize(path);
    QImageReader reader;
    openReader(reader, path, true);
    QSize size = reader.size();
    if (!size.isValid() && reader.format() == "bmp")
        size = BmpHeader::size(path).value_or(QSize());
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    if (isRotated(reader))
        size.transpose();
    return size;
}

QImage thumbnail(const QString& path, int maxPixel)
{
    if (maxPixel <= 0)
        return {};
    if (HeifCodec::sniff(path))
        return toSRGB(shrinkToFit(heifThumbnail(path, maxPixel), maxPixel));
    if (PngCodec::needsOwnDecoder(path))
        return toSRGB(shrinkToFit(PngCodec::decode(path, decodeLimitBytes), maxPixel));
    QImageReader reader;
    openReader(reader, path, true);
    const QSize stored = reader.size();
    if (stored.isValid()) {
        // The scaled size applies before the orientation is.
        QSize display = isRotated(reader) ? stored.transposed() : stored;
        QSize target = fitWithin(display, maxPixel);
        if (target != display)
            reader.setScaledSize(isRotated(reader) ? target.transposed() : target);
    }
    QImage image = reader.read();
    if (image.isNull() && FileNames::pathExtension(path).toLower() == u"webp")
        image = decodeWebP(path);
    return toSRGB(shrinkToFit(image, maxPixel));
}

QFuture<QImage> preview(const QString& path, int maxPixel)
{
    return QtConcurrent::run([path, maxPixel] { return thumbnail(path, maxPixel); });
}

QImage load(const QString& path)
{
    const QString name = FileNames::lastPathComponent(path);
    const bool webp = FileNames::pathExtension(path).toLower() == u"webp";
    if (HeifCodec::sniff(path)) {
        QImage image = HeifCodec::decode(path, decodeLimitBytes);
        if (image.isNull())
            throw ImageError::cannotRead(name);
        return toSRGB(image);
    }
    if (PngCodec::needsOwnDecoder(path)) {
        QImage image = PngCodec::decode(path, decodeLimitBytes);
        if (image.isNull())
            throw ImageError::cannotRead(name);
        return toSRGB(image);
    }
    if (pixelSize(path)) {
        QImageReader upright;
        openReader(upright, path, true);
        QImage image = upright.read();
        if (image.isNull()) {
            QImageReader plain;
            openReader(plain, path, false);
            image = plain.read();
        }
        if (!image.isNull())
            return toSRGB(image);
    }
    if (webp) {
        QImage image = decodeWebP(path);
        if (!image.isNull())
            return image;
    }
    throw ImageError::cannotRead(name);
}

QImage decodeData(const QByteArray& bytes)
{
    if (HeifCodec::sniffData(bytes))
        return toSRGB(HeifCodec::decodeData(bytes, decodeLimitBytes));
    QImage image;
    for (const bool upright : {true, false}) {
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader;
        reader.setDevice(&buffer);
        reader.setDecideFormatFromContent(true);
        reader.setAutoTransform(upright);
        image = reader.read();
        if (!image.isNull())
            return toSRGB(image);
    }
    return WebpCodec::decodeData(bytes, decodeLimitBytes);
}

QImage decodeWebP(const QString& path)
{
    return WebpCodec::decode(path, decodeLimitBytes);
}

QImage resize(const QImage& image, int width, int height)
{
    if (image.isNull() || width <= 0 || height <= 0)
        throw ImageError::outOfMemory();
    QImage source = image;
    if (!source.hasAlphaChannel() && source.format() != QImage::Format_RGBX8888)
        source.convertTo(QImage::Format_RGBX8888);
    else if (source.hasAlphaChannel() && source.format() != QImage::Format_RGBA8888_Premultiplied)
        source.convertTo(QImage::Format_RGBA8888_Premultiplied);
    QImage result = source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (result.isNull() || result.width() != width || result.height() != height)
        throw ImageError::outOfMemory();
    return result;
}

} // namespace ImageLoader
