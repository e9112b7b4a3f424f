#include "ImageLoader.h"

#include "BmpHeader.h"
#include "ExifOrientation.h"
#include "HeifCodec.h"
#include "JpegHeader.h"
#include "PixelBuffer.h"
#include "PngCodec.h"
#include "WebpCodec.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "core/RegularFile.h"
#include "core/WorkPools.h"

#include <QBuffer>
#include <QImageReader>
#include <QSemaphore>
#include <QtConcurrent>
#include <algorithm>
#include <cmath>

namespace ImageLoader {

namespace {

// A reader over a view of the file of its own; the view is made first so it outlives the reader.
class FileReader {
public:
    FileReader(const RegularFile& file, bool autoTransform) : m_device(file.device())
    {
        m_reader.setDecideFormatFromContent(true);
        m_reader.setDevice(m_device.get());
        m_reader.setAutoTransform(autoTransform);
    }
    QImageReader& operator*() { return m_reader; }
    QImageReader* operator->() { return &m_reader; }

private:
    std::unique_ptr<QIODevice> m_device;
    QImageReader m_reader;
};

// libjpeg holds a picture in several scans whole, whatever size is read; refuse it before
// decoding when that alone is over the limit.
bool withinDecodeLimit(QImageReader& reader, qint64 limitBytes = decodeLimitBytes)
{
    if (reader.format() != "jpeg")
        return true;
    QIODevice& device = *reader.device();
    const qint64 start = device.pos();
    const std::optional<qint64> held = JpegHeader::wholeImageBytes(device);
    device.seek(start);
    return held && *held <= limitBytes;
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

QImage heifThumbnail(const RegularFile& file, int maxPixel)
{
    QImage embedded = HeifCodec::embeddedThumbnail(file, maxPixel, decodeLimitBytes);
    if (!embedded.isNull())
        return embedded;
    fullHeifDecodes().acquire();
    const QSemaphoreReleaser slot(fullHeifDecodes(), 1);
    return shrinkToFit(HeifCodec::decode(file, decodeLimitBytes), maxPixel);
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

QImageIOHandler::Transformations leftToUs(QImageReader& reader, const RegularFile& file)
{
    return orientationLeftToUs(reader) ? ExifOrientation::ofContainer(*file.device())
                                       : QImageIOHandler::TransformationNone;
}

bool isRotated(const QImageReader& reader, QImageIOHandler::Transformations own)
{
    return (reader.transformation() | own) & QImageIOHandler::TransformationRotate90;
}

// Decoders of our own (libwebp, the deep PNG one) return the stored orientation.
QImage upright(QImage image, const RegularFile& file)
{
    return ExifOrientation::apply(std::move(image), ExifOrientation::ofContainer(*file.device()));
}

QImage deepPng(const RegularFile& file)
{
    return upright(PngCodec::decode(*file.device(), decodeLimitBytes), file);
}

bool needsOwnPngDecoder(const RegularFile& file)
{
    return PngCodec::needsOwnDecoder(*file.device());
}

bool isWebp(const RegularFile& file)
{
    return WebpCodec::sniff(*file.device());
}

// libwebp, for WebP files Qt's plugin cannot open.
QImage decodeWebP(const RegularFile& file)
{
    return upright(WebpCodec::decodeData(file.readAll(decodeLimitBytes), decodeLimitBytes), file);
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
    return pixelSize(RegularFile(path));
}

std::optional<QSize> pixelSize(const RegularFile& file)
{
    if (!file.isOpen())
        return std::nullopt;
    if (HeifCodec::sniff(file))
        if (const std::optional<QSize> size = HeifCodec::pixelSize(file))
            return size;
    FileReader reader(file, true);
    QSize size = reader->size();
    if (!size.isValid() && reader->format() == "bmp")
        size = BmpHeader::size(*file.device()).value_or(QSize());
    if (!size.isValid() || size.isEmpty())
        return std::nullopt;
    if (isRotated(*reader, leftToUs(*reader, file)))
        size.transpose();
    return size;
}

QImage thumbnail(const QString& path, int maxPixel)
{
    return thumbnail(RegularFile(path), maxPixel);
}

QImage thumbnail(const RegularFile& file, int maxPixel)
{
    if (maxPixel <= 0 || !file.isOpen())
        return {};
    if (HeifCodec::sniff(file))
        if (QImage image = heifThumbnail(file, maxPixel); !image.isNull())
            return toSRGB(shrinkToFit(image, maxPixel));
    if (needsOwnPngDecoder(file))
        return toSRGB(shrinkToFit(deepPng(file), maxPixel));
    FileReader reader(file, true);
    const QImageIOHandler::Transformations own = leftToUs(*reader, file);
    const bool rotated = isRotated(*reader, own);
    const QSize stored = reader->size();
    if (stored.isValid()) {
        // The scaled size applies before the orientation is.
        QSize display = rotated ? stored.transposed() : stored;
        QSize target = fitWithin(display, maxPixel);
        if (target != display)
            reader->setScaledSize(rotated ? target.transposed() : target);
    }
    if (!withinDecodeLimit(*reader))
        return {};
    QImage image = ExifOrientation::apply(reader->read(), own);
    if (image.isNull() && isWebp(file))
        image = decodeWebP(file);
    return toSRGB(shrinkToFit(image, maxPixel));
}

QFuture<QImage> preview(const QString& path, int maxPixel)
{
    return QtConcurrent::run(&WorkPools::views(),
                             [path, maxPixel] { return thumbnail(path, maxPixel); });
}

QImage load(const QString& path)
{
    return load(RegularFile(path));
}

QImage load(const RegularFile& file)
{
    const QString name = FileNames::lastPathComponent(file.path());
    if (!file.isOpen())
        throw ImageError::cannotRead(name);
    if (HeifCodec::sniff(file))
        if (QImage image = HeifCodec::decode(file, decodeLimitBytes); !image.isNull())
            return toSRGB(image);
    if (needsOwnPngDecoder(file)) {
        QImage image = deepPng(file);
        if (image.isNull())
            throw ImageError::cannotRead(name);
        return toSRGB(image);
    }
    if (pixelSize(file)) {
        for (const bool turned : {true, false}) {
            FileReader reader(file, turned);
            if (!withinDecodeLimit(*reader))
                throw ImageError::cannotRead(name);
            const QImageIOHandler::Transformations own =
                turned ? leftToUs(*reader, file) : QImageIOHandler::TransformationNone;
            if (QImage image = ExifOrientation::apply(reader->read(), own); !image.isNull())
                return toSRGB(image);
        }
    }
    if (isWebp(file)) {
        QImage image = decodeWebP(file);
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
        if (!withinDecodeLimit(reader, limitBytes))
            return {};
        const QImageIOHandler::Transformations own =
            turned ? leftToUs(reader, container) : QImageIOHandler::TransformationNone;
        QImage image = ExifOrientation::apply(reader.read(), own);
        if (!image.isNull())
            return toSRGB(image);
    }
    return ExifOrientation::apply(WebpCodec::decodeData(bytes, limitBytes),
                                  ExifOrientation::ofContainer(container));
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
