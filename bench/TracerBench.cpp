#include "Bench.h"

#include "core/CancelToken.h"
#include "imageio/ImageLoader.h"
#include "imageio/PixelBuffer.h"
#include "tracer/ColourPalette.h"
#include "tracer/PixelEdgeContourDetector.h"
#include "tracer/SVGVectorizer.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

constexpr int side = 2000;
constexpr int runs = 5;

// Flat shapes in seven colours on white, antialiased as an exported illustration would be.
QImage illustration()
{
    const QColor colours[] = {QColor(214, 40, 40),  QColor(247, 127, 0), QColor(252, 191, 73),
                              QColor(42, 157, 143), QColor(38, 70, 83),  QColor(131, 56, 236),
                              QColor(20, 20, 20)};
    QImage image(side, side, QImage::Format_RGBA8888);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QRandomGenerator random(2101);
    for (int i = 0; i < 90; ++i) {
        painter.setBrush(colours[i % 7]);
        const QRectF box(random.bounded(side), random.bounded(side), 40 + random.bounded(500),
                         40 + random.bounded(500));
        switch (i % 3) {
        case 0:
            painter.drawEllipse(box);
            break;
        case 1:
            painter.drawRoundedRect(box, 30, 30);
            break;
        default: {
            QPainterPath star;
            star.moveTo(box.center().x(), box.top());
            star.lineTo(box.right(), box.bottom());
            star.lineTo(box.left(), box.center().y());
            star.lineTo(box.right(), box.center().y());
            star.lineTo(box.left(), box.bottom());
            star.closeSubpath();
            painter.drawPath(star);
        }
        }
    }
    painter.end();
    return image;
}

// The per-colour masks the tracer hands to its detector.
std::vector<GreyMask> masksOf(const QImage& image)
{
    const CancelToken token;
    const QSize size = SVGVectorizer::traceSize(image.size());
    const PixelBuffer pixels =
        PixelBuffer::from(ImageLoader::resize(image, size.width(), size.height()));
    const auto bins = ColourPalette::countBins(pixels, token);
    auto palette = ColourPalette::seed(bins);
    ColourPalette::refine(palette, bins, token);
    const auto labels = ColourPalette::label(pixels, palette, token);
    std::vector<GreyMask> masks;
    for (int i = 0; i < int(palette.size()); ++i)
        if (GreyMask mask = SVGVectorizer::mask(labels, size, i); !mask.bytes.empty())
            masks.push_back(std::move(mask));
    return masks;
}

void benchTrace()
{
    const QImage image = illustration();
    QTemporaryDir dir;
    const QString path = dir.filePath("trace.svg");
    std::vector<double> times;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        QFile::remove(path);
        const CancelToken token;
        timer.start();
        SVGVectorizer::write(image, path, token, [](double) {});
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    report(QStringLiteral("tracer: 4 Mpx illustration, 8 colours: %1 ms, %2 bytes")
               .arg(qRound(median(times)))
               .arg(QFileInfo(path).size()));

    const std::vector<GreyMask> masks = masksOf(image);
    const PixelEdgeContourDetector detector;
    times.clear();
    qsizetype elements = 0;
    for (int i = 0; i < runs; ++i) {
        elements = 0;
        timer.start();
        for (const GreyMask& mask : masks)
            elements += detector.detect(mask).elementCount();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    report(QStringLiteral("tracer: contour follower, %1 masks of %2×%3: %4 ms, %5 elements")
               .arg(masks.size())
               .arg(masks.front().width)
               .arg(masks.front().height)
               .arg(median(times), 0, 'f', 1)
               .arg(elements));
}

const BenchRegistration registration("tracer", benchTrace);

} // namespace
