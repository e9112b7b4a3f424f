#include "GeneratedImage.h"

#include "core/EngineError.h"
#include "core/FileNames.h"
#include "core/WorkPools.h"
#include "imageio/HeifCodec.h"
#include "imageio/ImageLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QSaveFile>
#include <QtConcurrent>

namespace GeneratedImage {
namespace {

// Bytes of the largest picture allowed, decoded to 8-bit RGBA.
constexpr qint64 maxDecodedBytes = qint64(maxSide) * maxSide * 4;

bool withinSides(QSize size)
{
    return size.width() <= maxSide && size.height() <= maxSide;
}

// Removes a file when the scope ends, whatever happened in it.
class RemoveOnExit {
public:
    explicit RemoveOnExit(QString path) : m_path(std::move(path)) {}
    ~RemoveOnExit() { QFile::remove(m_path); }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    QString m_path;
};

// The size a Qt reader sees in the header; invalid when no reader knows the format.
QSize headerSize(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader;
    reader.setDevice(&buffer);
    reader.setDecideFormatFromContent(true);
    return reader.size();
}

} // namespace

Result<QByteArray> toPng(const QByteArray& bytes)
{
    try {
        // HEIF and the WebP files Qt cannot open have no header probe for bytes in memory; their
        // decoders refuse more than maxDecodedBytes from the declared size, before any pixel.
        const QSize declared = HeifCodec::sniffData(bytes) ? QSize() : headerSize(bytes);
        if (declared.isValid() && !withinSides(declared))
            return Result<QByteArray>::failure(tooLarge);
        const QImage image = ImageLoader::decodeData(bytes, maxDecodedBytes);
        if (!image.isNull() && !withinSides(image.size()))
            return Result<QByteArray>::failure(tooLarge);
        const QByteArray png = encodePng(image);
        if (png.isEmpty())
            return Result<QByteArray>::failure(cannotSave);
        return Result<QByteArray>::success(png);
    } catch (...) {
        return Result<QByteArray>::failure(cannotSave);
    }
}

QByteArray encodePng(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (image.isNull() || !writer.write(image))
        return {};
    return png;
}

QFuture<Result<QByteArray>> toPngLater(const QByteArray& bytes)
{
    return QtConcurrent::run(&WorkPools::views(), toPng, bytes);
}

QString saveAsNewFile(const Result<QByteArray>& png, const QString& path)
{
    try {
        if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
            return cannotSave;
        if (!png.isOk())
            return png.error();
        const QString hidden = QFileInfo(path).absolutePath() + QStringLiteral("/.tolvane-") +
                               FileNames::newUuidString() + QStringLiteral(".png");
        const RemoveOnExit cleanup(hidden);
        QSaveFile file(hidden);
        const QByteArray& bytes = png.value();
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
            return ImageError::cannotWrite(FileNames::lastPathComponent(path)).message();
        FileNames::moveNoReplace(hidden, path);
        return {};
    } catch (const EngineError& error) {
        return error.message();
    } catch (...) {
        return cannotSave;
    }
}

QFuture<QString> saveAsNewFileLater(const Result<QByteArray>& png, const QString& path)
{
    return QtConcurrent::run(&WorkPools::views(), saveAsNewFile, png, path);
}

} // namespace GeneratedImage
