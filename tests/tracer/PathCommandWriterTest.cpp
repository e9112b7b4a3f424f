#include "tracer/PathCommandWriter.h"
#include "core/CancelToken.h"
#include "tracer/PixelEdgeContourDetector.h"
#include "tracer/SVGVectorizer.h"

#include <gtest/gtest.h>

namespace {
void add(PathCommandWriter& writer, int type, std::initializer_list<QPointF> points)
{
    writer.add(type, std::span<const QPointF>(points.begin(), points.size()));
}
} // namespace

TEST(PathCommandWriter, MapsTheWorkedExampleAndWritesEveryElementType)
{
    const CancelToken token;
    const QSize image(1600, 1200);
    ASSERT_EQ(SVGVectorizer::traceSize(image), QSize(768, 576));
    PathCommandWriter writer(image, QSize(768, 576), 2, 150000, token);
    add(writer, 0, {{0.5, 0.25}});
    add(writer, 2, {{0, 1}, {1, 0}});
    add(writer, 7, {{0.5, 0.5}}); // unknown: skipped
    add(writer, 3, {{0.5, 0.25}, {0.5, 0.25}, {0, 1}});
    add(writer, 1, {}); // malformed: skipped
    add(writer, 1, {{1, 0}});
    add(writer, 4, {});
    EXPECT_EQ(writer.commands(), "M800.00 902.08 Q-4.17 -4.17 1604.17 1204.17 "
                                 "C800.00 902.08 800.00 902.08 -4.17 -4.17 L1604.17 1204.17 Z");
    EXPECT_EQ(writer.pointCount(), 7);
}

TEST(PathCommandWriter, StopsOnceAboveTheLimitOrWhenCancelled)
{
    CancelToken token;
    PathCommandWriter writer(QSize(4, 4), QSize(4, 4), 2, 3, token);
    add(writer, 0, {{0.25, 0.25}});
    add(writer, 1, {{0.5, 0.25}});
    add(writer, 3, {{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}}); // from 2 to 5: still written
    add(writer, 1, {{0.75, 0.25}});                       // above 3: ignored
    add(writer, 4, {});
    EXPECT_EQ(writer.pointCount(), 5);
    EXPECT_EQ(writer.commands(), "M0.00 4.00 L2.00 4.00 C2.00 2.00 2.00 2.00 2.00 2.00");

    PathCommandWriter stopped(QSize(4, 4), QSize(4, 4), 2, 3, token);
    token.cancel();
    add(stopped, 0, {{0.25, 0.25}});
    add(stopped, 4, {});
    EXPECT_EQ(stopped.commands(), "");
    EXPECT_EQ(stopped.pointCount(), 0);
}

TEST(PathCommandWriter, MarginEdgesMapToTheImageBorder)
{
    const CancelToken token;
    for (int side = 1; side <= SVGVectorizer::maxSide; ++side) {
        const QSize image(side * 3 + 1, side);
        const QSize traced = SVGVectorizer::traceSize(image);
        const int pw = traced.width() + 4, ph = traced.height() + 4;
        PathCommandWriter writer(image, traced, 2, 150000, token);
        add(writer, 0,
            {{PixelEdgeContourDetector::normalisedX(2, pw),
              PixelEdgeContourDetector::normalisedY(2, ph)}});
        add(writer, 1,
            {{PixelEdgeContourDetector::normalisedX(pw - 2, pw),
              PixelEdgeContourDetector::normalisedY(ph - 2, ph)}});
        const std::string expected = "M0.00 0.00 L" + std::to_string(image.width()) + ".00 " +
                                     std::to_string(image.height()) + ".00";
        ASSERT_EQ(writer.commands(), expected) << "side " << side;
    }
}
