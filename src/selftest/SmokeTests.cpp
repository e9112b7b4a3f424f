#include "SmokeTests.h"

#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "imageio/ImageLoader.h"
#include "imageio/PixelBuffer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QXmlStreamReader>
#include <cerrno>
#include <dirent.h>

namespace SmokeTests {

void printLine(std::FILE* out, const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

namespace {

// TMPDIR when it names an existing absolute folder, else the system's temporary folder: results
// must never land under a path relative to wherever the program was started.
QString temporaryRoot()
{
    const QString configured = QDir::tempPath();
    if (QDir::isAbsolutePath(configured) && QFileInfo(configured).isDir())
        return configured;
    return QStringLiteral("/tmp");
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw PlatformError(
            QStringLiteral("Couldn't read %1").arg(FileNames::lastPathComponent(path)));
    return file.readAll();
}

bool isImageError(const EngineError& error, ImageError::Kind kind)
{
    auto* image = dynamic_cast<const ImageError*>(&error);
    return image && image->kind() == kind;
}

// Straight alpha, with the colour of the fully transparent band kept.
QImage fixtureImage()
{
    PixelBuffer buffer(24, 18);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 24; ++x) {
            uint8_t* p = buffer.row(y) + 4 * x;
            p[0] = x < 12 ? 220 : 30;
            p[1] = y < 9 ? 160 : 40;
            p[2] = 70;
            p[3] = x <= 3 ? 0 : (x <= 7 ? 128 : 255);
        }
    QImage image = buffer.makeImage(true);
    if (image.isNull())
        throw Failure(QStringLiteral("Fixture creation"));
    return image;
}

uint8_t alphaAt(const PixelBuffer& buffer, int x, int y)
{
    return buffer.row(y)[4 * x + 3];
}

class Checks {
public:
    Checks(const Pipeline::Runner& pipeline, std::FILE* out) : m_pipeline(pipeline), m_out(out) {}

    void runAll()
    {
        makeFolder();
        writeFixture();
        conversions();
        enlargements();
        cancellations();
        repeatedExports();
        corruptInput();
        check(QStringLiteral("No temporary exports remain"), noHiddenFiles());
        vectorOutput();
        printLine(m_out,
                  QStringLiteral("%1 checks passed. Results: %2").arg(m_passed).arg(m_folder));
    }

private:
    void pass(const QString& line)
    {
        ++m_passed;
        printLine(m_out, line);
    }

    void check(const QString& name, bool condition)
    {
        if (!condition)
            throw Failure(name);
        pass(QStringLiteral("PASS: ") + name);
    }

    QString job(const QString& source, ScaleFactor scale, SRModel model, OutputFormat format,
                CancelToken& token, const Pipeline::Progress& progress)
    {
        JobSettings settings{scale, model, format, 0.92, true, m_folder};
        return m_pipeline(source, settings, token, progress);
    }

    QString job(ScaleFactor scale, SRModel model, OutputFormat format)
    {
        CancelToken token;
        return job(m_fixture, scale, model, format, token, [](double) {});
    }

    // Runs a job that must throw: the expected error passes, a normal return is a failure of its
    // own, and any other error ends the run unchanged.
    void expectError(const QString& line, const QString& successText,
                     const std::function<void()>& call,
                     const std::function<bool(const EngineError&)>& expected)
    {
        try {
            call();
        } catch (const EngineError& error) {
            if (!expected(error))
                throw;
            pass(line);
            return;
        }
        throw Failure(successText);
    }

    void makeFolder()
    {
        m_folder = QDir(temporaryRoot())
                       .filePath(QStringLiteral("TolvaneQA-") + FileNames::newUuidString());
        if (!QDir().mkpath(m_folder))
            throw PlatformError(QStringLiteral("Couldn't create the results folder %1")
                                    .arg(FileNames::lastPathComponent(m_folder)));
    }

    void writeFixture()
    {
        m_fixture = QDir(m_folder).filePath(QStringLiteral("original.png"));
        QImageWriter writer(m_fixture, "png");
        if (!writer.write(fixtureImage()))
            throw ImageError::cannotWrite(QStringLiteral("original.png"));
        m_fixtureBytes = readAll(m_fixture);
    }

    void conversions()
    {
        for (OutputFormat format : {OutputFormat::png, OutputFormat::jpeg, OutputFormat::webp,
                                    OutputFormat::heic, OutputFormat::tiff}) {
            const QImage decoded = ImageLoader::load(job(ScaleFactor::x1, SRModel::photo, format));
            const QString name = rawValue(format);
            check(name + QStringLiteral(" converts and decodes at original dimensions"),
                  decoded.size() == QSize(24, 18));
            if (format == OutputFormat::heic)
                continue;
            const PixelBuffer pixels = PixelBuffer::from(decoded);
            if (format == OutputFormat::jpeg) {
                const uint8_t* p = pixels.data();
                check(QStringLiteral("JPEG flattens transparency onto white"),
                      p[0] > 240 && p[1] > 240 && p[2] > 240);
            } else {
                check(name + QStringLiteral(" preserves alpha"),
                      alphaAt(pixels, 0, 0) == 0 && alphaAt(pixels, 8, 0) == 255);
            }
        }
    }

    void enlargements()
    {
        for (SRModel model : {SRModel::photo, SRModel::illustration}) {
            const QString modelLabel =
                model == SRModel::photo ? QStringLiteral("Photo") : QStringLiteral("Illustration");
            for (ScaleFactor scale :
                 {ScaleFactor::x2, ScaleFactor::x4, ScaleFactor::x8, ScaleFactor::x16}) {
                const int f = rawValue(scale);
                double fraction = 0.0;
                CancelToken token;
                const QString out = job(m_fixture, scale, model, OutputFormat::png, token,
                                        [&fraction](double p) { fraction = p; });
                const QImage decoded = ImageLoader::load(out);
                const QString prefix = modelLabel + u' ' + label(scale);
                check(prefix + QStringLiteral(" completes with correct dimensions"),
                      decoded.size() == QSize(24 * f, 18 * f) && fraction == 1.0);
                const PixelBuffer pixels = PixelBuffer::from(decoded);
                check(prefix + QStringLiteral(" preserves transparent and opaque pixels"),
                      alphaAt(pixels, 0, 0) == 0 && alphaAt(pixels, 12 * f, 0) == 255);
            }
        }
    }

    void cancellations()
    {
        expectError(
            QStringLiteral("PASS: Cancellation prevents export"),
            QStringLiteral("Cancelled job incorrectly succeeded"),
            [this] {
                CancelToken token;
                token.cancel();
                job(m_fixture, ScaleFactor::x1, SRModel::photo, OutputFormat::png, token,
                    [](double) {});
            },
            isCancellation);
        expectError(
            QStringLiteral("PASS: Cancellation during inference prevents export"),
            QStringLiteral("Job cancelled during inference incorrectly succeeded"),
            [this] {
                CancelToken token;
                job(m_fixture, ScaleFactor::x4, SRModel::photo, OutputFormat::png, token,
                    [&token](double) { token.cancel(); });
            },
            isCancellation);
    }

    void repeatedExports()
    {
        const QString first = job(ScaleFactor::x1, SRModel::photo, OutputFormat::png);
        const QByteArray firstBytes = readAll(first);
        const QString second = job(ScaleFactor::x1, SRModel::photo, OutputFormat::png);
        check(QStringLiteral("Repeated exports preserve originals and prior results"),
              first != m_fixture && first != second && readAll(first) == firstBytes &&
                  readAll(m_fixture) == m_fixtureBytes);
    }

    void corruptInput()
    {
        const QString broken = QDir(m_folder).filePath(QStringLiteral("broken.png"));
        QFile file(broken);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
            file.write("invalid image") != 13)
            throw PlatformError(QStringLiteral("Couldn't write broken.png"));
        file.close();
        expectError(
            QStringLiteral("PASS: Corrupt input fails cleanly"),
            QStringLiteral("Corrupt image incorrectly succeeded"),
            [this, broken] {
                CancelToken token;
                job(broken, ScaleFactor::x1, SRModel::photo, OutputFormat::png, token,
                    [](double) {});
            },
            [](const EngineError& error) {
                return isImageError(error, ImageError::Kind::cannotRead);
            });
    }

    // A folder that vanished or cannot be listed proves nothing, so it fails the check.
    bool noHiddenFiles() const
    {
        DIR* folder = ::opendir(QFile::encodeName(m_folder).constData());
        if (!folder)
            return false;
        bool clean = true;
        errno = 0;
        while (const dirent* entry = ::readdir(folder))
            clean = clean && !QByteArray(entry->d_name).startsWith(".tolvane-");
        const bool listed = errno == 0;
        ::closedir(folder);
        return clean && listed;
    }

    void vectorOutput()
    {
        const QByteArray svg =
            readAll(job(ScaleFactor::x1, SRModel::illustration, OutputFormat::svg));
        QXmlStreamReader xml(svg);
        while (!xml.atEnd())
            xml.readNext();
        check(QStringLiteral("Vector output is valid XML"), !xml.hasError());
        check(QStringLiteral("SVG contains real editable paths, not a bitmap wrapper"),
              svg.contains("<path ") && !svg.contains("<image") && !svg.contains("base64"));
        check(QStringLiteral("SVG retains its canvas and represents translucent colors"),
              svg.contains("viewBox=\"0 0 24 18\"") && svg.contains("fill-opacity=\"0.50\""));
        expectError(
            QStringLiteral("PASS: Vector cancellation prevents export"),
            QStringLiteral("Cancelled vector tracing incorrectly exported"),
            [this] {
                CancelToken token;
                job(m_fixture, ScaleFactor::x1, SRModel::photo, OutputFormat::svg, token,
                    [&token](double) { token.cancel(); });
            },
            isCancellation);
    }

    const Pipeline::Runner& m_pipeline;
    std::FILE* m_out;
    QString m_folder;
    QString m_fixture;
    QByteArray m_fixtureBytes;
    int m_passed = 0;
};

} // namespace

void run()
{
    run(
        [](const QString& path, const JobSettings& settings, const CancelToken& token,
           const Pipeline::Progress& progress) {
            return Pipeline::run(path, settings, token, progress);
        },
        stdout);
}

void run(const Pipeline::Runner& pipeline, std::FILE* out)
{
    Checks(pipeline, out).runAll();
}

} // namespace SmokeTests
