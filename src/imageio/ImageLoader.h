#pragma once

#include <QFuture>
#include <QImage>
#include <QSet>
#include <QSize>
#include <QString>
#include <optional>

class RegularFile;

// Turning files into images. Functions that can fail for ordinary reasons (no such file, not an
// image) return nothing; load() and resize() must produce a result and throw. A path is opened
// once, as a RegularFile: a FIFO, socket or device there is never waited on and reads as no
// image. Headers that declare more than a decode may hold are refused before decoding.
namespace ImageLoader {

// Raises Qt's allocation limit (128 MB by default) to decodeLimitBytes for every image reader.
// Called once at start-up, before anything reads an image.
void configureReaders();

// Lower-case extensions accepted as sources.
const QSet<QString>& supportedExtensions();

// Bytes a single decode may allocate: covers the engine's 300-megapixel limit even at 16 bits
// per channel, and refuses files that declare absurd sizes.
constexpr qint64 decodeLimitBytes = qint64(2560) << 20;

// Display size (orientation applied) read from the file's header, never its pixels.
std::optional<QSize> pixelSize(const QString& path);
std::optional<QSize> pixelSize(const RegularFile& file);

// Orientation-corrected image whose longer side is at most maxPixel; never enlarges.
// Null when the file cannot be read.
QImage thumbnail(const QString& path, int maxPixel);
QImage thumbnail(const RegularFile& file, int maxPixel);

// thumbnail() on a worker thread; the future's result is null when nothing could be read.
QFuture<QImage> preview(const QString& path, int maxPixel);

// Full-size decode with the orientation applied, in sRGB. Animated files give their first frame.
// Throws ImageError::cannotRead naming the file.
QImage load(const QString& path);
QImage load(const RegularFile& file);

// load() for a file's bytes held in memory (the same codecs, libheif and libwebp included); null
// when they are not a readable image. libheif and libwebp refuse a declared size over
// `limitBytes` before decoding any pixel.
QImage decodeData(const QByteArray& bytes, qint64 limitBytes = decodeLimitBytes);

// Redraws the image at exactly width x height with high-quality filtering (aspect not kept).
// Throws ImageError::outOfMemory.
QImage resize(const QImage& image, int width, int height);

} // namespace ImageLoader
