#include "tracer/ColourPalette.h"
#include "core/CancelToken.h"
#include "core/EngineError.h"
#include "imageio/PixelBuffer.h"

#include <gtest/gtest.h>

namespace {

struct Rgba {
    std::uint8_t r, g, b, a;
};

// A one-row buffer holding the given pixels.
PixelBuffer row(const std::vector<Rgba>& pixels)
{
    PixelBuffer buffer(qint64(pixels.size()), 1);
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        std::uint8_t* p = buffer.data() + 4 * i;
        p[0] = pixels[i].r;
        p[1] = pixels[i].g;
        p[2] = pixels[i].b;
        p[3] = pixels[i].a;
    }
    return buffer;
}

std::vector<Rgba> repeated(Rgba colour, int count)
{
    return std::vector<Rgba>(std::size_t(count), colour);
}

std::vector<TraceColour> paletteOf(const PixelBuffer& pixels)
{
    const CancelToken token;
    const auto bins = ColourPalette::countBins(pixels, token);
    auto palette = ColourPalette::seed(bins);
    ColourPalette::refine(palette, bins, token);
    return palette;
}

} // namespace

TEST(ColourPalette, AlphaBelow32IsTransparent)
{
    const CancelToken token;
    const PixelBuffer pixels = row({{200, 10, 10, 31}, {200, 10, 10, 32}, {0, 0, 0, 0}});
    const auto bins = ColourPalette::countBins(pixels, token);
    ASSERT_EQ(bins.size(), 1u);
    EXPECT_EQ(bins[0].count, 1);
    EXPECT_EQ(bins[0].key, 6 + 0 + 0 + 512 * 0);
    EXPECT_EQ(bins[0].mean(), (TraceColour{200, 10, 10, 32}));
    const auto labels = ColourPalette::label(pixels, ColourPalette::seed(bins), token);
    EXPECT_EQ(labels, (std::vector<qint8>{-1, 0, -1}));
}

TEST(ColourPalette, StrayPixelScoringExactlyOneIsNotAdded)
{
    // Red 31 falls in another bin than red 32, at distance 1 from the seed: score √1·1 = 1.
    auto pixels = repeated({32, 100, 100, 255}, 50);
    pixels[17] = {31, 100, 100, 255};
    const PixelBuffer buffer = row(pixels);
    EXPECT_EQ(ColourPalette::countBins(buffer, CancelToken()).size(), 2u);
    EXPECT_EQ(ColourPalette::seed(ColourPalette::countBins(buffer, CancelToken())).size(), 1u);
    EXPECT_EQ(paletteOf(buffer).size(), 1u);

    // At distance 4 the same pixel scores 4 and joins the palette.
    pixels[17] = {30, 100, 100, 255};
    EXPECT_EQ(paletteOf(row(pixels)).size(), 2u);
}

TEST(ColourPalette, TiesGoToTheSmallerKey)
{
    // Equal counts: the smaller key seeds, whatever comes first in the image.
    const PixelBuffer seeded =
        row({{0, 0, 250, 255}, {0, 0, 250, 255}, {250, 0, 0, 255}, {250, 0, 0, 255}});
    EXPECT_EQ(ColourPalette::seed(ColourPalette::countBins(seeded, CancelToken())).front(),
              (TraceColour{250, 0, 0, 255}));

    // Two bins equally far from the seed with equal counts: the smaller key is taken first.
    auto pixels = repeated({128, 128, 128, 255}, 3);
    pixels.push_back({192, 128, 128, 255});
    pixels.push_back({64, 128, 128, 255});
    const auto bins = ColourPalette::countBins(row(pixels), CancelToken());
    const auto palette = ColourPalette::seed(bins);
    ASSERT_EQ(palette.size(), 3u);
    EXPECT_EQ(palette[1], (TraceColour{64, 128, 128, 255}));
    EXPECT_EQ(palette[2], (TraceColour{192, 128, 128, 255}));

    // Equal distances in the labelling: the lower index wins.
    const TraceColour grey{100, 100, 100, 255};
    EXPECT_EQ(ColourPalette::nearest({grey, grey}, grey), 0);
    EXPECT_EQ(ColourPalette::nearest({{0, 0, 0, 255}, {200, 0, 0, 255}}, {100, 0, 0, 255}), 0);
    EXPECT_EQ(ColourPalette::nearest({}, grey), -1);
}

TEST(ColourPalette, HoldsAtMostEightAndNoMoreThanTheBins)
{
    std::vector<Rgba> three;
    for (Rgba c : {Rgba{250, 0, 0, 255}, Rgba{0, 250, 0, 255}, Rgba{0, 0, 250, 255}})
        for (int i = 0; i < 5; ++i)
            three.push_back(c);
    EXPECT_EQ(paletteOf(row(three)).size(), 3u);

    std::vector<Rgba> many;
    for (int i = 0; i < 27; ++i)
        many.push_back({std::uint8_t(i % 3 * 120), std::uint8_t(i / 3 % 3 * 120),
                        std::uint8_t(i / 9 * 120), 255});
    EXPECT_EQ(paletteOf(row(many)).size(), 8u);
}

TEST(ColourPalette, RefineMovesColoursToTheirBinsWeightedMean)
{
    const auto pixels = row(
        {{0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, {40, 0, 0, 255}, {255, 255, 255, 255}});
    const auto bins = ColourPalette::countBins(pixels, CancelToken());
    std::vector<TraceColour> palette{{0, 0, 0, 255}, {255, 255, 255, 255}, {900, 0, 0, 0}};
    ColourPalette::refine(palette, bins, CancelToken());
    EXPECT_EQ(palette[0], (TraceColour{10, 0, 0, 255}));
    EXPECT_EQ(palette[1], (TraceColour{255, 255, 255, 255}));
    EXPECT_EQ(palette[2], (TraceColour{900, 0, 0, 0})); // drew no bin

    // Labels go by each pixel's own colour, not by its bin's mean.
    const auto labels =
        ColourPalette::label(pixels, {{0, 0, 0, 255}, {39, 0, 0, 255}}, CancelToken());
    EXPECT_EQ(labels, (std::vector<qint8>{0, 0, 0, 1, 1}));
}

TEST(ColourPalette, PassesStopOnACancelledToken)
{
    CancelToken token;
    token.cancel();
    const PixelBuffer pixels = row(repeated({10, 20, 30, 255}, 3));
    const auto bins = ColourPalette::countBins(pixels, CancelToken());
    std::vector<TraceColour> palette = ColourPalette::seed(bins);
    EXPECT_THROW(ColourPalette::countBins(pixels, token), UpscaleError);
    EXPECT_THROW(ColourPalette::refine(palette, bins, token), UpscaleError);
    EXPECT_THROW(ColourPalette::label(pixels, palette, token), UpscaleError);
}
