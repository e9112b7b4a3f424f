#include "tracer/SvgDocument.h"

#include <QRandomGenerator>
#include <clocale>
#include <cstdio>
#include <gtest/gtest.h>
#include <locale.h>

namespace {
std::string fixed2(double value)
{
    std::string out;
    SvgDocument::appendFixed2(out, value);
    return out;
}
} // namespace

TEST(SvgDocument, NumbersFollowPrintfInTheCLocale)
{
    EXPECT_EQ(fixed2(1200.0 * (580.0 * 0.75 - 2.0) / 576.0), "902.08");
    EXPECT_EQ(fixed2(1600.0 * (772.0 * 0.0 - 2.0) / 768.0), "-4.17");
    EXPECT_EQ(fixed2(1600.0 * (772.0 * 1.0 - 2.0) / 768.0), "1604.17");
    EXPECT_EQ(fixed2(128.0 / 255.0), "0.50");
    EXPECT_EQ(fixed2(32.0 / 255.0), "0.13");
    EXPECT_EQ(fixed2(0.125), "0.12"); // exact ties round to even, as printf does
    EXPECT_EQ(fixed2(-0.001), "-0.00");

    const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const locale_t previous = uselocale(c);
    QRandomGenerator random(11);
    for (int i = 0; i < 20000; ++i) {
        const double value = (random.generateDouble() - 0.25) * std::pow(10.0, i % 7);
        char expected[64];
        std::snprintf(expected, sizeof expected, "%.2f", value);
        ASSERT_EQ(fixed2(value), expected);
    }
    uselocale(previous);
    freelocale(c);
}

TEST(SvgDocument, FillRoundsHalvesAwayAndOpacityIsAlphaOver255)
{
    EXPECT_EQ(SvgDocument::fill({26.4, 43.5, 60.6, 255}), "#1a2c3d");
    EXPECT_EQ(SvgDocument::opacity({26.4, 43.5, 60.6, 255}), "1.00");
    EXPECT_EQ(SvgDocument::opacity({26.4, 43.5, 60.6, 200}), "0.78");
    EXPECT_EQ(SvgDocument::fill({0, 254.5, 255, 32}), "#00ffff");
    EXPECT_EQ(SvgDocument::fill({9.49, 15.5, 160.2, 32}), "#0910a0");
    EXPECT_EQ(SvgDocument::opacity({0, 0, 0, 32}), "0.13");
    EXPECT_EQ(SvgDocument::pathElement({26.4, 43.5, 60.6, 255}, "M0.00 0.00 L10.00 0.00 Z"),
              "<path fill=\"#1a2c3d\" fill-opacity=\"1.00\" d=\"M0.00 0.00 L10.00 0.00 Z\"/>");
}

TEST(SvgDocument, TextHasFixedLinesAndNoFinalLineFeed)
{
    EXPECT_EQ(SvgDocument::text(640, 480, {}),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\"480\" "
              "viewBox=\"0 0 640 480\">\n"
              "<title>Tolvane color vector trace</title>\n"
              "<g fill-rule=\"evenodd\" stroke=\"none\"></g>\n"
              "</svg>");
    EXPECT_EQ(SvgDocument::text(1, 2, {"<a/>", "<b/>", "<c/>"}),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"1\" height=\"2\" "
              "viewBox=\"0 0 1 2\">\n"
              "<title>Tolvane color vector trace</title>\n"
              "<g fill-rule=\"evenodd\" stroke=\"none\"><a/>\n<b/>\n<c/></g>\n"
              "</svg>");
}
