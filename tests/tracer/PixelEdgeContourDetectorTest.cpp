#include "tracer/PixelEdgeContourDetector.h"

#include <QPoint>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using Loop = std::vector<QPoint>;

// A light mask of the given size with dark pixels where `art` has '#'; rows top to bottom.
GreyMask maskFrom(const std::vector<std::string>& art)
{
    GreyMask mask;
    mask.height = int(art.size());
    mask.width = int(art.front().size());
    for (const std::string& line : art)
        for (char c : line)
            mask.bytes.push_back(c == '#' ? 0 : 255);
    return mask;
}

// The loops of a path as whole vertices of the mask's grid, origin top-left. Fails the test on
// anything but move, lines and close, or on coordinates off the grid.
std::vector<Loop> loopsOf(const ContourPath& path, const GreyMask& mask)
{
    std::vector<Loop> loops;
    bool open = false;
    path.apply([&](int type, std::span<const QPointF> points) {
        if (type == ContourPath::close) {
            EXPECT_TRUE(open);
            open = false;
            return;
        }
        ASSERT_TRUE(type == ContourPath::move || type == ContourPath::line);
        const double x = points[0].x() * mask.width, y = (1.0 - points[0].y()) * mask.height;
        EXPECT_NEAR(x, std::round(x), 1e-9);
        EXPECT_NEAR(y, std::round(y), 1e-9);
        if (type == ContourPath::move) {
            EXPECT_FALSE(open);
            loops.emplace_back();
            open = true;
        }
        loops.back().push_back(QPoint(int(std::lround(x)), int(std::lround(y))));
    });
    EXPECT_FALSE(open);
    return loops;
}

// Twice the signed area, positive for loops that run clockwise on screen.
qint64 doubleArea(const Loop& loop)
{
    qint64 sum = 0;
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const QPoint a = loop[i], b = loop[(i + 1) % loop.size()];
        sum += qint64(a.x()) * b.y() - qint64(b.x()) * a.y();
    }
    return sum;
}

// Each side is axis-aligned and turns at every corner: only collinear points were merged.
void expectRectilinearCorners(const Loop& loop)
{
    ASSERT_GE(loop.size(), 4u);
    for (std::size_t i = 0; i < loop.size(); ++i) {
        const QPoint a = loop[i], b = loop[(i + 1) % loop.size()], c = loop[(i + 2) % loop.size()];
        const QPoint ab = b - a, bc = c - b;
        EXPECT_TRUE((ab.x() == 0) != (ab.y() == 0));
        EXPECT_NE(ab.x() == 0, bc.x() == 0) << "collinear corner kept";
    }
}

} // namespace

TEST(PixelEdgeContourDetector, OnePixelKeepsItsWholeSquare)
{
    const GreyMask mask = maskFrom({".....", ".....", "..#..", ".....", "....."});
    const ContourPath path = PixelEdgeContourDetector().detect(mask);
    EXPECT_EQ(path.elementCount(), 5); // move, three lines, close
    const auto loops = loopsOf(path, mask);
    ASSERT_EQ(loops.size(), 1u);
    ASSERT_EQ(loops[0].size(), 4u);
    for (QPoint corner : {QPoint(2, 2), QPoint(3, 2), QPoint(3, 3), QPoint(2, 3)})
        EXPECT_NE(std::find(loops[0].begin(), loops[0].end(), corner), loops[0].end());
}

TEST(PixelEdgeContourDetector, SeparatesCornerTouchesAndKeepsHolesAndIslands)
{
    const GreyMask diagonal = maskFrom({"....", ".#..", "..#.", "...."});
    const auto pair = loopsOf(PixelEdgeContourDetector().detect(diagonal), diagonal);
    ASSERT_EQ(pair.size(), 2u);
    EXPECT_EQ(pair[0].size(), 4u);
    EXPECT_EQ(pair[1].size(), 4u);

    const GreyMask ring = maskFrom({"...........", ".#########.", ".#.......#.", ".#..###..#.",
                                    ".#..###..#.", ".#.......#.", ".#########.", "..........."});
    const auto loops = loopsOf(PixelEdgeContourDetector().detect(ring), ring);
    ASSERT_EQ(loops.size(), 3u);
    std::vector<qint64> areas;
    for (const Loop& loop : loops)
        areas.push_back(doubleArea(loop) / 2);
    std::sort(areas.begin(), areas.end());
    // Holes run the other way round: outline 9x6, hole 7x4, island 3x2.
    EXPECT_EQ(areas, (std::vector<qint64>{-28, 6, 54}));

    EXPECT_TRUE(PixelEdgeContourDetector().detect(maskFrom({"...", "..."})).isEmpty());
}

TEST(PixelEdgeContourDetector, RandomMasksAreCoveredExactly)
{
    QRandomGenerator random(7);
    for (int round = 0; round < 50; ++round) {
        GreyMask mask;
        mask.width = 1 + int(random.bounded(40));
        mask.height = 1 + int(random.bounded(40));
        qint64 dark = 0;
        for (int i = 0; i < mask.width * mask.height; ++i) {
            const bool isDark = random.bounded(100) < 45;
            dark += isDark;
            mask.bytes.push_back(isDark ? std::uint8_t(random.bounded(128))
                                        : std::uint8_t(128 + random.bounded(128)));
        }
        qint64 area = 0;
        for (const Loop& loop : loopsOf(PixelEdgeContourDetector().detect(mask), mask)) {
            expectRectilinearCorners(loop);
            area += doubleArea(loop);
        }
        EXPECT_EQ(area, 2 * dark) << "round " << round;
    }
}

TEST(PixelEdgeContourDetector, NormalisedEdgesNeverMapBackBelowTheirPixel)
{
    for (int n = 1; n <= 800; ++n)
        for (int k = 0; k <= n; ++k) {
            const double x = double(n) * PixelEdgeContourDetector::normalisedX(k, n);
            const double y = double(n) * (1.0 - PixelEdgeContourDetector::normalisedY(k, n));
            ASSERT_GE(x, k);
            ASSERT_LT(x, k + 1e-9);
            ASSERT_GE(y, k);
            ASSERT_LT(y, k + 1e-9);
        }
}
