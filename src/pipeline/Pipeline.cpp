#include "Pipeline.h"

#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "core/RegularFile.h"
#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"
#include "sr/ModelStore.h"
#include "sr/Upscaler.h"
#include "tracer/SVGVectorizer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Pipeline {

namespace {

// Removes the temporary file on every way out unless the final move took it.
class TemporaryFile {
public:
    explicit TemporaryFile(QString path) : m_path(std::move(path)) {}
    ~TemporaryFile()
    {
        if (!m_path.isEmpty())
            QFile::remove(m_path);
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const QString& path() const { return m_path; }
    void release() { m_path.clear(); }

private:
    QString m_path;
};

// The 4x intermediate of a 2x job is the largest image it makes, so that is what is limited.
int headerFactor(ScaleFactor scale)
{
    return scale == ScaleFactor::x2 ? 4 : rawValue(scale);
}

void checkHeaderSize(const RegularFile& source, ScaleFactor scale)
{
    const std::optional<QSize> size = ImageLoader::pixelSize(source);
    if (!size)
        return;
    const double f = headerFactor(scale);
    if (f * f * size->width() * size->height() > maxOutputPixels)
        throw UpscaleError::tooLarge(qint64(size->width()) * qint64(f),
                                     qint64(size->height()) * qint64(f));
}

qint64 progressTotal(ScaleFactor scale, qint64 w, qint64 h)
{
    qint64 total = tileCount(w, h);
    if (scale == ScaleFactor::x8)
        total += tileCount(2 * w, 2 * h);
    else if (scale == ScaleFactor::x16)
        total += tileCount(4 * w, 4 * h);
    return std::max<qint64>(total, 1);
}

QImage halve(const QImage& image)
{
    return ImageLoader::resize(image, image.width() / 2, image.height() / 2);
}

QImage enlarge(const QImage& source, ScaleFactor scale, Model& model, const CancelToken& token,
               const Progress& progress)
{
    const qint64 total = progressTotal(scale, source.width(), source.height());
    qint64 done = 0;
    const auto tick = [&] {
        ++done;
        if (done % 2 == 0 || done == total)
            progress(double(done) / double(total));
    };
    QImage image = Upscaler::upscale4x(source, model, token, tick);
    switch (scale) {
    case ScaleFactor::x2:
        return halve(image);
    case ScaleFactor::x8:
        image = halve(image);
        return Upscaler::upscale4x(image, model, token, tick);
    case ScaleFactor::x16:
        return Upscaler::upscale4x(image, model, token, tick);
    default:
        return image;
    }
}

// The user knows the result by its final name, never by the hidden file it is written to.
void writeImage(const QImage& image, const QString& path, const QString& finalPath,
                OutputFormat format, const JobSettings& settings, const CancelToken& token,
                const Progress& progress)
{
    try {
        if (format == OutputFormat::svg)
            SVGVectorizer::write(image, path, token, progress);
        else
            ImageWriter::write(image, path, format, settings.quality, settings.webpLossless);
    } catch (const ImageError& error) {
        if (error.kind() == ImageError::Kind::cannotWrite)
            throw ImageError::cannotWrite(FileNames::lastPathComponent(finalPath));
        throw;
    }
}

} // namespace

qint64 tileCount(qint64 width, qint64 height)
{
    return ((width + 231) / 232) * ((height + 231) / 232);
}

QString outputPath(const QString& source, const QString& outputFolder, ScaleFactor scale,
                   OutputFormat resolvedFormat)
{
    const QString folder = outputFolder.isEmpty() ? QFileInfo(source).absolutePath() : outputFolder;
    QString stem = FileNames::stem(source);
    if (scale != ScaleFactor::x1)
        stem += u'_' + QString::number(rawValue(scale)) + u'x';
    const QString extension = fileExtension(resolvedFormat);
    QString candidate = QDir(folder).filePath(stem + u'.' + extension);
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++n)
        candidate = QDir(folder).filePath(stem + u' ' + QString::number(n) + u'.' + extension);
    return candidate;
}

QString temporaryPath(const QString& finalPath)
{
    const QFileInfo info(finalPath);
    return QDir(info.absolutePath())
        .filePath(QStringLiteral(".tolvane-") + FileNames::newUuidString() + u'.' +
                  FileNames::pathExtension(finalPath));
}

QString run(const QString& path, const JobSettings& settings, const CancelToken& token,
            const Progress& progress)
{
    return run(path, settings, token, progress, ModelStore::shared());
}

QString run(const QString& path, const JobSettings& settings, const CancelToken& token,
            const Progress& progress, ModelStore& models)
{
    token.check();
    const ScaleFactor scale =
        settings.format == OutputFormat::svg ? ScaleFactor::x1 : settings.scale;
    const OutputFormat format = resolved(settings.format, path);
    QImage image;
    {
        // Measured and decoded through one descriptor; a FIFO or device here is unreadable.
        const RegularFile source(path);
        checkHeaderSize(source, scale);
        image = ImageLoader::load(source);
    }

    if (scale != ScaleFactor::x1) {
        const qint64 factor = rawValue(scale);
        const qint64 width = qint64(image.width()) * factor;
        const qint64 height = qint64(image.height()) * factor;
        if (double(width) * double(height) > maxOutputPixels)
            throw UpscaleError::tooLarge(width, height);
        // Formats that cannot hold the result refuse it before any enlargement.
        ImageWriter::checkFits(format, width, height);
        const std::shared_ptr<Model> model = models.model(settings.model);
        image = enlarge(image, scale, *model, token, progress);
    } else {
        ImageWriter::checkFits(format, image.width(), image.height());
    }
    token.check();

    const QString finalPath = outputPath(path, settings.outputFolder, scale, format);
    TemporaryFile temporary(temporaryPath(finalPath));
    writeImage(image, temporary.path(), finalPath, format, settings, token, progress);
    image = QImage(); // the largest allocation of the run is no longer needed
    token.check();
    FileNames::moveNoReplace(temporary.path(), finalPath);
    temporary.release();
    progress(1.0);
    return finalPath;
}

} // namespace Pipeline
