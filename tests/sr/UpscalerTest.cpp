#include "sr/Upscaler.h"
#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "imageio/PixelBuffer.h"
#include "sr/Executor.h"
#include "sr/Model.h"

#include "TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

std::shared_ptr<Model> testModel(const QString& fileName)
{
    return Model::load(TestSupport::testFile("data/models/" + fileName));
}

// Neighbouring pixels differ in every channel, so a result shifted by one pixel shows.
QImage noisyFixture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGBX8888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(
                x, y, qRgb((x * 37 + y * 11) % 256, (x * 7 + y * 53 + 5) % 256, (x ^ y) & 255));
    return image;
}

struct Result {
    QImage image;
    int ticks = 0;
};

Result upscale(const QImage& image, Model& model, const CancelToken& token = CancelToken())
{
    Result result;
    result.image = Upscaler::upscale4x(image, model, token, [&result] { ++result.ticks; });
    return result;
}

// Every result pixel's colour is the source pixel it was enlarged from (the nearest model's job).
void expectNearestColours(const QImage& source, const QImage& result)
{
    ASSERT_EQ(result.size(), source.size() * 4);
    const PixelBuffer expected = PixelBuffer::from(source);
    const QImage actual = result.convertToFormat(QImage::Format_RGBA8888);
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x) {
            const uchar* want = expected.data() + (y / 4) * expected.bytesPerRow() + 4 * (x / 4);
            const uchar* got = actual.constScanLine(y) + 4 * x;
            for (int k = 0; k < 3; ++k)
                ASSERT_EQ(got[k], want[k]) << "pixel " << x << "," << y << " channel " << k;
        }
}

} // namespace

TEST(Upscaler, ModelValuesBecomeBytesByTruncationWithClamping)
{
    const std::pair<float, int> table[] = {{1.0f, 255},
                                           {1.5f, 255},
                                           {0.5f, 128},
                                           {0.998f, 254},
                                           {0.0f, 0},
                                           {-0.2f, 0},
                                           {-7.0f, 0},
                                           {0.0019f, 0},
                                           {0.002f, 1},
                                           {std::numeric_limits<float>::quiet_NaN(), 255},
                                           {std::numeric_limits<float>::infinity(), 255},
                                           {-std::numeric_limits<float>::infinity(), 0},
                                           {-0.0f, 0}};
    for (const auto& [value, byte] : table)
        EXPECT_EQ(sr::byteFromModel(value), byte) << value;
}

TEST(Upscaler, TileCoresCoverTheImageOnceRowByRow)
{
    EXPECT_EQ(Upscaler::tileCores(1, 1), QList<QRect>{QRect(0, 0, 1, 1)});
    EXPECT_EQ(Upscaler::tileCores(233, 100),
              (QList<QRect>{QRect(0, 0, 232, 100), QRect(232, 0, 1, 100)}));
    EXPECT_EQ(Upscaler::tileCores(464, 464).size(), 4);
    EXPECT_EQ(Upscaler::tileCores(465, 465).size(), 9);
    const QList<QRect> grid = Upscaler::tileCores(600, 300);
    ASSERT_EQ(grid.size(), 6);
    EXPECT_EQ(grid[2], QRect(464, 0, 136, 232));
    EXPECT_EQ(grid[3], QRect(0, 232, 232, 68));
    EXPECT_EQ(grid[5], QRect(464, 232, 136, 68));
}

TEST(Upscaler, EveryOutputPixelComesFromItsOwnTile)
{
    const auto model = testModel("NearestX4.onnx");
    // 1x1: one tile of replicated pixels; 233x100: the last 4 columns come from a second tile
    // with a 1-pixel core; 465x465: nine tiles with a 1-pixel last row and column.
    for (const QSize size : {QSize(1, 1), QSize(233, 100), QSize(465, 465)}) {
        SCOPED_TRACE(size.width());
        const QImage source = noisyFixture(size.width(), size.height());
        const Result result = upscale(source, *model);
        EXPECT_EQ(result.ticks, Upscaler::tileCores(size.width(), size.height()).size());
        expectNearestColours(source, result.image);
    }
}

TEST(Upscaler, OutputNamedOtherwiseIsTakenWhenItIsTheOnlyOne)
{
    const QImage source = noisyFixture(40, 30);
    expectNearestColours(source, upscale(source, *testModel("RenamedOutput.onnx")).image);
}

TEST(Upscaler, OutputSmallerThanTheTileIsRejectedNotOverread)
{
    const auto model = testModel("SmallOutput.onnx");
    try {
        const Result result = upscale(noisyFixture(8, 8), *model);
        FAIL() << "a 512-pixel answer was accepted";
    } catch (const UpscaleError& error) {
        EXPECT_EQ(error.kind(), UpscaleError::Kind::badOutput);
        EXPECT_EQ(error.message(), "Unexpected model output");
    }
}

TEST(Upscaler, OpaqueSourceGivesOpaqueResult)
{
    QImage source = noisyFixture(10, 7).convertToFormat(QImage::Format_RGB32);
    const QImage result = upscale(source, *testModel("NearestX4.onnx")).image;
    EXPECT_FALSE(result.hasAlphaChannel());
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x)
            ASSERT_EQ(result.constScanLine(y)[4 * x + 3], 255);
}

TEST(Upscaler, AlphaComesFromTheSourceAtFourTimesColourFromTheModel)
{
    const QImage source = TestSupport::alphaFixture();
    const QImage result = upscale(source, *testModel("NearestX4.onnx")).image;
    ASSERT_EQ(result.format(), QImage::Format_RGBA8888);
    // Colour stays straight, also where alpha is 0 (the fixture keeps its colour there).
    expectNearestColours(source, result);
    const QImage alpha = source.convertToFormat(QImage::Format_RGBA8888_Premultiplied)
                             .scaled(result.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                             .convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    bool smoothed = false;
    for (int y = 0; y < result.height(); ++y)
        for (int x = 0; x < result.width(); ++x) {
            const int expected = alpha.constScanLine(y)[4 * x + 3];
            ASSERT_EQ(result.constScanLine(y)[4 * x + 3], expected) << x << "," << y;
            smoothed = smoothed || (expected != 0 && expected != 128 && expected != 255);
        }
    EXPECT_TRUE(smoothed);
}

TEST(Upscaler, CancellationLetsTheRunningTileFinishAndStopsBeforeTheNext)
{
    const auto model = testModel("NearestX4.onnx");
    CancelToken token;
    int ticks = 0;
    const auto tick = [&] {
        if (++ticks == 3)
            token.cancel();
    };
    try {
        Upscaler::upscale4x(noisyFixture(465, 465), *model, token, tick);
        FAIL() << "not cancelled";
    } catch (const UpscaleError& error) {
        EXPECT_EQ(error.kind(), UpscaleError::Kind::cancelled);
    }
    EXPECT_EQ(ticks, 3);
    EXPECT_THROW(upscale(noisyFixture(4, 4), *model, token), UpscaleError);
}
