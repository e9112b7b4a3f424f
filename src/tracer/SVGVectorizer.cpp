#include "SVGVectorizer.h"

#include "ColourPalette.h"
#include "PathCommandWriter.h"
#include "PixelEdgeContourDetector.h"
#include "SvgDocument.h"
#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"
#include "imageio/PixelBuffer.h"

#include <QSaveFile>
#include <algorithm>
#include <new>

namespace SVGVectorizer {

namespace {

struct TraceInput {
    QSize imageSize;
    QSize traceSize;
    std::vector<TraceColour> palette;
    std::vector<qint8> labels;
};

// One path element per colour that yields commands, in palette order.
std::vector<std::string> tracePaths(const TraceInput& input, const CancelToken& token,
                                    const std::function<void(double)>& progress,
                                    const ContourDetector& detector)
{
    PathCommandWriter writer(input.imageSize, input.traceSize, maskMargin, pointLimit, token);
    std::vector<std::string> paths;
    const int n = int(input.palette.size());
    for (int i = 0; i < n; ++i) {
        token.check();
        const GreyMask colourMask = mask(input.labels, input.traceSize, i);
        if (colourMask.bytes.empty())
            continue;
        const ContourPath contours = detector.detect(colourMask);
        token.check();
        if (!contours.isEmpty()) {
            writer.clearCommands();
            contours.apply(
                [&writer](int type, std::span<const QPointF> points) { writer.add(type, points); });
            if (writer.pointCount() > pointLimit)
                throw MessageError(QStringLiteral("This image has too many tiny shapes to trace. "
                                                  "Try a simpler logo or illustration."));
            if (!writer.commands().empty())
                paths.push_back(
                    SvgDocument::pathElement(input.palette[std::size_t(i)], writer.commands()));
        }
        progress(((i + 1) * 0.75) / n + 0.2);
    }
    return paths;
}

void save(const std::string& text, const QString& path)
{
    QSaveFile file(path);
    const auto size = qint64(text.size());
    if (!file.open(QIODevice::WriteOnly) || file.write(text.data(), size) != size || !file.commit())
        throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
}

void trace(const QImage& image, const QString& path, const CancelToken& token,
           const std::function<void(double)>& progress, const ContourDetector& detector)
{
    token.check();
    TraceInput input;
    input.imageSize = image.size();
    input.traceSize = traceSize(input.imageSize);
    const PixelBuffer pixels = PixelBuffer::from(
        ImageLoader::resize(image, input.traceSize.width(), input.traceSize.height()));
    const std::vector<ColourBin> bins = ColourPalette::countBins(pixels, token);
    input.palette = ColourPalette::seed(bins);
    ColourPalette::refine(input.palette, bins, token);
    input.labels = ColourPalette::label(pixels, input.palette, token);
    progress(0.2);

    const std::vector<std::string> paths = tracePaths(input, token, progress, detector);
    if (!bins.empty() && paths.empty()) {
        // A stop during the last colour can leave it without commands; that is no fault of the
        // image, so the stop wins.
        token.check();
        throw MessageError(
            QStringLiteral("No shapes could be traced. Try an image with clearer edges."));
    }
    const std::string text =
        SvgDocument::text(input.imageSize.width(), input.imageSize.height(), paths);
    token.check();
    save(text, path);
}

} // namespace

void write(const QImage& image, const QString& path, const CancelToken& token,
           const std::function<void(double)>& progress)
{
    static const PixelEdgeContourDetector detector;
    write(image, path, token, progress, detector);
}

void registerWithImageWriter()
{
    // Written on its own, a trace is never stopped and has nobody to show progress to.
    ImageWriter::setSvgWriter([](const QImage& image, const QString& path) {
        const CancelToken token;
        write(image, path, token, [](double) {});
    });
}

void write(const QImage& image, const QString& path, const CancelToken& token,
           const std::function<void(double)>& progress, const ContourDetector& detector)
{
    try {
        trace(image, path, token, progress, detector);
    } catch (const std::bad_alloc&) {
        throw ImageError::outOfMemory();
    }
}

QSize traceSize(QSize imageSize)
{
    const int longer = std::max(imageSize.width(), imageSize.height());
    const double scale = std::min(double(maxSide) / double(longer), 1.0);
    const int w = std::max(int(double(imageSize.width()) * scale), 1);
    const int h = std::max(int(double(imageSize.height()) * scale), 1);
    return {w, h};
}

GreyMask mask(const std::vector<qint8>& labels, QSize traceSize, int index)
{
    const int w = traceSize.width(), h = traceSize.height();
    GreyMask result;
    result.width = w + 2 * maskMargin;
    result.height = h + 2 * maskMargin;
    result.bytes.assign(std::size_t(result.width) * std::size_t(result.height), 255);
    bool any = false;
    for (int y = 0; y < h; ++y) {
        const qint8* row = labels.data() + std::size_t(y) * std::size_t(w);
        std::uint8_t* out = result.bytes.data() +
                            std::size_t(y + maskMargin) * std::size_t(result.width) + maskMargin;
        for (int x = 0; x < w; ++x)
            if (row[x] == index) {
                out[x] = 0;
                any = true;
            }
    }
    return any ? result : GreyMask{};
}

} // namespace SVGVectorizer
