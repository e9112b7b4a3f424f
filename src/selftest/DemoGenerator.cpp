#include "SmokeTests.h"

#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>

namespace SmokeTests {

namespace {

constexpr int previewMaxWidth = 1280;

QString enlarge(const Pipeline::Runner& pipeline, const QString& source, ScaleFactor scale,
                SRModel model, OutputFormat format, double quality, const QString& folder)
{
    CancelToken token;
    return pipeline(source, JobSettings{scale, model, format, quality, false, folder}, token,
                    [](double) {});
}

// Web previews are at most 1280 pixels wide and never enlarged.
QImage webPreview(const QImage& image)
{
    const double s = std::min(double(previewMaxWidth) / image.width(), 1.0);
    return ImageLoader::resize(image, int(image.width() * s), int(image.height() * s));
}

void copyFile(const QString& from, const QString& to)
{
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly))
        throw PlatformError(
            QStringLiteral("Couldn't read %1").arg(FileNames::lastPathComponent(from)));
    const QByteArray bytes = source.readAll();
    // The asset is replaced whole or not at all.
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly) || target.write(bytes) != bytes.size() ||
        !target.commit())
        throw PlatformError(
            QStringLiteral("Couldn't write %1").arg(FileNames::lastPathComponent(to)));
}

} // namespace

void makeDemo()
{
    makeDemo(
        QStringLiteral(TOLVANE_SOURCE_DIR),
        [](const QString& path, const JobSettings& settings, const CancelToken& token,
           const Pipeline::Progress& progress) {
            return Pipeline::run(path, settings, token, progress);
        },
        stdout);
}

void makeDemo(const QString& root, const Pipeline::Runner& pipeline, std::FILE* out)
{
    const QDir tree(root);
    const QString assets = tree.filePath(QStringLiteral("Site/dist/assets"));
    const QString work = tree.filePath(QStringLiteral("build/demo"));
    if (!QDir().mkpath(work))
        throw PlatformError(QStringLiteral("Couldn't create the folder demo"));

    const QString source = QDir(assets).filePath(QStringLiteral("demo-source.png"));
    const QImage photo = ImageLoader::load(tree.filePath(QStringLiteral("Brand/alpine-demo.png")));
    ImageWriter::write(ImageLoader::resize(photo, 300, 200), source, OutputFormat::png, 1.0, false);

    for (ScaleFactor scale :
         {ScaleFactor::x2, ScaleFactor::x4, ScaleFactor::x8, ScaleFactor::x16}) {
        printLine(out, QStringLiteral("Generating real %1 demo…").arg(label(scale)));
        const QString full =
            enlarge(pipeline, source, scale, SRModel::photo, OutputFormat::jpeg, 0.95, work);
        const QImage enlarged = ImageLoader::load(full);
        const QString preview =
            QDir(assets).filePath(QStringLiteral("demo-%1x.jpg").arg(rawValue(scale)));
        ImageWriter::write(webPreview(enlarged), preview, OutputFormat::jpeg, 0.93, false);
        printLine(out, QStringLiteral("Saved %1 × %2 output and web preview")
                           .arg(enlarged.width())
                           .arg(enlarged.height()));
    }

    const QString trace = enlarge(pipeline, source, ScaleFactor::x1, SRModel::illustration,
                                  OutputFormat::svg, 1.0, work);
    copyFile(trace, QDir(assets).filePath(QStringLiteral("vector-demo.svg")));
    printLine(out, QStringLiteral("Saved actual eight-color SVG trace"));
}

} // namespace SmokeTests
