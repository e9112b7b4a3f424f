#include "ImageLoader.h"

#include "BmpHeader.h"
#include "ExifOrientation.h"
#include "HeifCodec.h"
#include "PixelBuffer.h"
#include "PngCodec.h"
#include "WebpCodec.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "core/WorkPools.h"

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

// Qt's PNG and WebP readers ignore the EXIF orientation those files may hold; it is read and
// applied here instead. Other formats are turned by their readers.
bool orientationLeftToUs(QImageReader& reader)
{
    const QByteArray format = reader.format();
    return reader.transformation() == QImageIOHandler::TransformationNone &&
           (format == "png" || format == "webp");
}

QImageIOHandler::Transformations leftToUs(QImageReader& reader, QIODevice& file)
{
    return orientationLeftToUs(reader) ? ExifOrientation::ofContainer(file)
                                       : QImageIOHandler::TransformationNone;
}

QImageIOHandler::Transformations leftToUs(QImageReader& reader, const QString& path)
{
    return orientationLeftToUs(reader) ? ExifOrientation::ofFile(path)
                                       : QImageIOHandler::TransformationNone;
}

bool isRotated(const QImageReader& reader, QImageIOHandler::Transformations own)
{
    return (reader.transformation() | own) & QImageIOHandler::TransformationRotate90;
}

// Decoders of our own (libwebp, the deep PNG one) return the stored orientation.
QImage upright(QImage image, const QString& path)
{
    return ExifOrientation::apply(std::move(image), ExifOrientation::ofFile(path));
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
        if (const std::optional<QSize> size = HeifCodec::pixelSize(path))
            return size;
    QImageReader reader;
    openReader(reader, path, true);
    QSize size = reader.size();
    if (!size.isValid() && reader.format() == "bmp")
        size = BmpHeader::size(path).value_or(QSize());
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    if (isRotated(reader, leftToUs(reader, path)))
        size.transpose();
    return size;
}

QImage thumbnail(const QString& path, int maxPixel)
{
    if (maxPixel <= 0)
        return {};
    if (HeifCodec::sniff(path))
        if (QImage image = heifThumbnail(path, maxPixel); !image.isNull())
            return toSRGB(shrinkToFit(image, maxPixel));
    if (PngCodec::needsOwnDecoder(path))
        return toSRGB(
            shrinkToFit(upright(PngCodec::decode(path, decodeLimitBytes), path), maxPixel));
    QImageReader reader;
    openReader(reader, path, true);
    const QImageIOHandler::Transformations own = leftToUs(reader, path);
    const bool rotated = isRotated(reader, own);
    const QSize stored = reader.size();
    if (stored.isValid()) {
        // The scaled size applies before the orientation is.
        QSize display = rotated ? stored.transposed() : stored;
        QSize target = fitWithin(display, maxPixel);
        if (target != display)
            reader.setScaledSize(rotated ? target.transposed() : target);
    }
    QImage image = ExifOrientation::apply(reader.read(), own);
    // By content: the import reads files through their descriptors, whose names end in numbers.
    if (image.isNull() && WebpCodec::sniff(path))
        image = decodeWebP(path);
    return toSRGB(shrinkToFit(image, maxPixel));
}

QFuture<QImage> preview(const QString& path, int maxPixel)
{
    return QtConcurrent::run(&WorkPools::views(),
                             [path, maxPixel] { return thumbnail(path, maxPixel); });
}

QImage load(const QString& path)
{
    const QString name = FileNames::lastPathComponent(path);
    if (HeifCodec::sniff(path))
        if (QImage image = HeifCodec::decode(path, decodeLimitBytes); !image.isNull())
            return toSRGB(image);
    if (PngCodec::needsOwnDecoder(path)) {
        QImage image = upright(PngCodec::decode(path, decodeLimitBytes), path);
        if (image.isNull())
            throw ImageError::cannotRead(name);
        return toSRGB(image);
    }
    if (pixelSize(path)) {
        QImageReader reader;
        openReader(reader, path, true);
        const QImageIOHandler::Transformations own = leftToUs(reader, path);
        QImage image = ExifOrientation::apply(reader.read(), own);
        if (image.isNull()) {
            QImageReader plain;
            openReader(plain, path, false);
            image = plain.read();
        }
        if (!image.isNull())
            return toSRGB(image);
    }
    if (WebpCodec::sniff(path)) {
        QImage image = decodeWebP(path);
        if (!image.isNull())
            return image;
    }
    throw ImageError::cannotRead(name);
}

QImage decodeData(const QByteArray& bytes, qint64 limitBytes)
{
    if (HeifCodec::sniffData(bytes))
        if (QImage image = HeifCodec::decodeData(bytes, limitBytes); !image.isNull())
            return toSRGB(image);
    QBuffer container;
    container.setData(bytes);
    container.open(QIODevice::ReadOnly);
    for (const bool turned : {true, false}) {
        QBuffer buffer;
        buffer.setData(bytes);
        QImageReader reader;
        reader.setDevice(&buffer);
        reader.setDecideFormatFromContent(true);
        reader.setAutoTransform(turned);
        const QImageIOHandler::Transformations own =
            turned ? leftToUs(reader, container) : QImageIOHandler::TransformationNone;
        QImage image = ExifOrientation::apply(reader.read(), own);
        if (!image.isNull())
            return toSRGB(image);
    }
    return ExifOrientation::apply(WebpCodec::decodeData(bytes, limitBytes),
                                  ExifOrientation::ofContainer(container));
}

QImage decodeWebP(const QString& path)
{
    return upright(WebpCodec::decode(path, decodeLimitBytes), path);
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
