#include "tracer/SVGVectorizer.h"
#include "core/CancelToken.h"
#include "core/EngineError.h"

#include <QFile>
#include <QPainter>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Hands out prepared paths, one per call, and remembers the masks it was given.
class ScriptedDetector : public ContourDetector {
public:
    ContourPath detect(const GreyMask& mask) const override
    {
        masks.push_back(mask);
        if (onDetect)
            onDetect(int(masks.size()));
        const std::size_t call = masks.size() - 1;
        return call < paths.size() ? paths[call] : ContourPath();
    }

    std::vector<ContourPath> paths;
    std::function<void(int call)> onDetect;
    mutable std::vector<GreyMask> masks;
};

// A closed triangle, the smallest path that gives a visible shape.
ContourPath triangle()
{
    ContourPath path;
    path.moveTo({0.1, 0.1});
    path.lineTo({0.9, 0.1});
    path.lineTo({0.5, 0.9});
    path.closeSubpath();
    return path;
}

// `count` points: one move, then lines.
ContourPath points(int count)
{
    ContourPath path;
    path.moveTo({0.5, 0.5});
    for (int i = 1; i < count; ++i)
        path.lineTo({0.5, 0.5});
    return path;
}

QImage solid(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(colour);
    return image;
}

// Vertical bands of far-apart colours, one per colour.
QImage bands(int count)
{
    static const QColor colours[] = {QColor(230, 20, 20), QColor(20, 230, 20), QColor(20, 20, 230)};
    QImage image(count * 4, 4, QImage::Format_RGBA8888);
    for (int i = 0; i < count; ++i)
        for (int x = 0; x < 4; ++x)
            for (int y = 0; y < 4; ++y)
                image.setPixelColor(i * 4 + x, y, colours[i]);
    return image;
}

struct TraceRun {
    std::vector<double> progress;
    QString path;
};

class SVGVectorizerTest : public ::testing::Test {
protected:
    // Traces into a fresh file name; the reports land in `run.progress`.
    void trace(const QImage& image, const ContourDetector& detector)
    {
        run.path = dir.filePath(QStringLiteral("trace%1.svg").arg(++count));
        SVGVectorizer::write(
            image, run.path, *token, [this](double p) { report(p); }, detector);
    }
    void report(double p)
    {
        run.progress.push_back(p);
        if (onProgress)
            onProgress(p);
    }
    std::string document() const
    {
        QFile file(run.path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll().toStdString();
    }
    bool written() const { return QFile::exists(run.path); }

    // A fresh token and no reports, for the next scenario.
    void reset()
    {
        token = std::make_shared<CancelToken>();
        run = {};
        onProgress = nullptr;
    }
    // Sets the token from inside the report of `value`.
    void stopAtReport(double value)
    {
        onProgress = [this, value](double p) {
            if (std::abs(p - value) < 1e-9)
                token->cancel();
        };
    }

    QTemporaryDir dir;
    CancelTokenPtr token = std::make_shared<CancelToken>();
    TraceRun run;
    std::function<void(double)> onProgress;
    int count = 0;
};

QString messageOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const EngineError& error) {
        return error.message();
    }
    return {};
}

const QString tooManyShapes =
    "This image has too many tiny shapes to trace. Try a simpler logo or illustration.";
const QString noShapes = "No shapes could be traced. Try an image with clearer edges.";

} // namespace

TEST(SVGVectorizer, TraceSizeKeepsTheLongerSideAtMost768)
{
    EXPECT_EQ(SVGVectorizer::traceSize({5000, 5000}), QSize(767, 767));
    EXPECT_EQ(SVGVectorizer::traceSize({10000, 3}), QSize(767, 1));
    EXPECT_EQ(SVGVectorizer::traceSize({7000, 13}), QSize(768, 1));
    EXPECT_EQ(SVGVectorizer::traceSize({1920, 1080}), QSize(768, 432));
    EXPECT_EQ(SVGVectorizer::traceSize({600, 400}), QSize(600, 400));
    EXPECT_EQ(SVGVectorizer::traceSize({1, 1}), QSize(1, 1));
}

TEST_F(SVGVectorizerTest, WritesTheWorkedDocumentInTheImagesOwnSize)
{
    ScriptedDetector detector;
    ContourPath path;
    path.moveTo({0.5, 0.25});
    path.quadTo({0, 1}, {1, 0});
    path.append(9, {{0.3, 0.3}});
    path.closeSubpath();
    detector.paths = {path};
    trace(solid(1600, 1200, QColor(26, 44, 61)), detector);

    EXPECT_EQ(document(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1600\" "
                          "height=\"1200\" viewBox=\"0 0 1600 1200\">\n"
                          "<title>Tolvane color vector trace</title>\n"
                          "<g fill-rule=\"evenodd\" stroke=\"none\"><path fill=\"#1a2c3d\" "
                          "fill-opacity=\"1.00\" d=\"M800.00 902.08 Q-4.17 -4.17 1604.17 "
                          "1204.17 Z\"/></g>\n"
                          "</svg>");
    ASSERT_EQ(detector.masks.size(), 1u);
    EXPECT_EQ(detector.masks[0].width, 772);
    EXPECT_EQ(detector.masks[0].height, 580);
    EXPECT_EQ(run.progress, (std::vector<double>{0.2, 0.95}));
}

TEST_F(SVGVectorizerTest, OnePixelImageGetsAMaskWithItsMargin)
{
    ScriptedDetector detector;
    detector.paths = {triangle()};
    trace(solid(1, 1, QColor(200, 100, 50, 128)), detector);
    ASSERT_EQ(detector.masks.size(), 1u);
    const GreyMask& mask = detector.masks[0];
    ASSERT_EQ(mask.width, 5);
    ASSERT_EQ(mask.height, 5);
    std::vector<std::uint8_t> expected(25, 255);
    expected[12] = 0;
    EXPECT_EQ(mask.bytes, expected);
}

TEST_F(SVGVectorizerTest, TransparentImageGivesAnEmptyDocument)
{
    ScriptedDetector detector;
    trace(solid(30, 20, QColor(255, 0, 0, 31)), detector);
    EXPECT_EQ(document(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"30\" height=\"20\" "
                          "viewBox=\"0 0 30 20\">\n"
                          "<title>Tolvane color vector trace</title>\n"
                          "<g fill-rule=\"evenodd\" stroke=\"none\"></g>\n"
                          "</svg>");
    EXPECT_TRUE(detector.masks.empty());
    EXPECT_EQ(run.progress, std::vector<double>{0.2});
}

TEST_F(SVGVectorizerTest, ReportsProgressPerColourAndOnePathPerLine)
{
    ScriptedDetector detector;
    detector.paths = {triangle(), ContourPath(), triangle()};
    trace(bands(3), detector);
    ASSERT_EQ(run.progress.size(), 4u);
    EXPECT_DOUBLE_EQ(run.progress[0], 0.2);
    EXPECT_DOUBLE_EQ(run.progress[1], 0.45);
    EXPECT_DOUBLE_EQ(run.progress[2], 0.7);
    EXPECT_DOUBLE_EQ(run.progress[3], 0.95);

    // The colour without contours gets no path element.
    const std::string text = document();
    const auto group = text.find("<g fill-rule=\"evenodd\" stroke=\"none\"><path ");
    ASSERT_NE(group, std::string::npos);
    const auto second = text.find("\"/>\n<path ", group);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(text.compare(text.size() - 14, 14, "\"/></g>\n</svg>"), 0);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 5);
}

TEST_F(SVGVectorizerTest, PointBudgetCountsOverAllColours)
{
    ScriptedDetector exact;
    exact.paths = {points(150000)};
    trace(solid(2, 2, Qt::black), exact);
    EXPECT_TRUE(written());

    ScriptedDetector one;
    one.paths = {points(150001)};
    EXPECT_EQ(messageOf([&] { trace(solid(2, 2, Qt::black), one); }), tooManyShapes);
    EXPECT_FALSE(written());

    ScriptedDetector split;
    split.paths = {points(75000), points(75001), points(1)};
    EXPECT_EQ(messageOf([&] { trace(bands(3), split); }), tooManyShapes);
    EXPECT_EQ(split.masks.size(), 2u);
    EXPECT_FALSE(written());
}

TEST_F(SVGVectorizerTest, NothingTracedIsAFailureOnlyWithOpaquePixels)
{
    ScriptedDetector empty;
    EXPECT_EQ(messageOf([&] { trace(bands(2), empty); }), noShapes);
    EXPECT_FALSE(written());

    ScriptedDetector unknown;
    ContourPath path;
    path.append(5, {{0.5, 0.5}});
    unknown.paths = {path};
    EXPECT_EQ(messageOf([&] { trace(bands(1), unknown); }), noShapes);
}

TEST_F(SVGVectorizerTest, StopsAtEveryCheckPointWithoutWriting)
{
    const auto expectCancelled = [this](const QImage& image, ScriptedDetector& detector) {
        EXPECT_EQ(messageOf([&] { trace(image, detector); }), "Cancelled");
        EXPECT_FALSE(written());
    };

    ScriptedDetector before;
    token->cancel();
    expectCancelled(bands(2), before);
    EXPECT_TRUE(run.progress.empty());

    reset();
    ScriptedDetector afterLabels;
    stopAtReport(0.2);
    expectCancelled(bands(2), afterLabels);
    EXPECT_TRUE(afterLabels.masks.empty());

    reset();
    ScriptedDetector duringRequest;
    duringRequest.paths = {triangle(), triangle()};
    duringRequest.onDetect = [this](int) { token->cancel(); };
    expectCancelled(bands(2), duringRequest);
    EXPECT_EQ(duringRequest.masks.size(), 1u);
    EXPECT_EQ(run.progress, std::vector<double>{0.2});

    reset();
    ScriptedDetector beforeWrite;
    beforeWrite.paths = {triangle(), triangle()};
    stopAtReport(0.95);
    expectCancelled(bands(2), beforeWrite);
    EXPECT_EQ(beforeWrite.masks.size(), 2u);

    // A stop during the last colour wins over "nothing traced".
    reset();
    ScriptedDetector nothingTraced;
    stopAtReport(0.95);
    expectCancelled(bands(2), nothingTraced);
}

namespace {

// Transparent ground with a ring holding an island, two abutting blocks on the top and right
// borders, one-pixel lines crossing, pixels touching at corners only, and a lone corner pixel.
QImage roundTripPicture()
{
    const QColor red(230, 20, 20), green(20, 230, 20), blue(20, 20, 230), yellow(230, 230, 20),
        magenta(230, 20, 230);
    QImage image(40, 24, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    const auto fill = [&image](int x0, int y0, int x1, int y1, QColor colour) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                image.setPixelColor(x, y, colour);
    };
    fill(2, 2, 18, 18, red);
    fill(6, 6, 14, 14, Qt::transparent);
    fill(8, 8, 12, 12, red);
    fill(20, 0, 30, 10, green);
    fill(30, 0, 40, 10, blue);
    fill(20, 13, 40, 14, yellow);
    fill(35, 11, 36, 24, green);
    for (QPoint p : {QPoint(22, 18), QPoint(23, 19), QPoint(26, 19), QPoint(27, 18)})
        image.setPixelColor(p, magenta);
    image.setPixelColor(0, 23, blue);
    return image;
}

} // namespace

TEST_F(SVGVectorizerTest, RoundTripRendersEveryPixelInItsColour)
{
    const QImage picture = roundTripPicture();
    run.path = dir.filePath("roundtrip.svg");
    SVGVectorizer::write(picture, run.path, *token, [](double) {});

    QSvgRenderer renderer(run.path);
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.defaultSize(), picture.size());
    QImage rendered(picture.size(), QImage::Format_RGBA8888);
    rendered.fill(Qt::transparent);
    QPainter painter(&rendered);
    painter.setRenderHint(QPainter::Antialiasing, false);
    renderer.render(&painter);
    painter.end();

    int wrong = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb expected = picture.pixel(x, y), actual = rendered.pixel(x, y);
            const bool same = qAlpha(expected) == 0 ? qAlpha(actual) == 0 : actual == expected;
            if (!same && ++wrong <= 5)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << actual
                              << " instead of " << expected;
        }
    EXPECT_EQ(wrong, 0);
}
