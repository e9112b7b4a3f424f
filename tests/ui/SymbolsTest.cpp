#include "ui/kit/Symbols.h"

#include <QImage>
#include <gtest/gtest.h>

namespace {

const char* const allSymbols[] = {
    "sparkles",
    "plus",
    "trash",
    "folder",
    "key",
    "clock",
    "photo.stack",
    "lock.shield",
    "checkmark.circle",
    "checkmark.circle.fill",
    "exclamationmark.triangle.fill",
    "arrow.counterclockwise",
    "point.topleft.down.curvedto.point.bottomright.up",
    "key.fill",
    "arrow.down.circle",
    "slider.horizontal.3",
    "stop.fill",
    "arrow.triangle.2.circlepath",
    "checkmark.shield",
    "checkmark.shield.fill",
    "info.circle",
    "arrow.up.right",
    "stack-2",
};

// Opaque-ish pixels, and whether any of them is not the tint.
int coverage(const QImage& image, const QColor& tint, bool* foreign)
{
    int covered = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = QColor::fromRgba(image.pixel(x, y));
            if (pixel.alpha() < 128)
                continue;
            ++covered;
            if (qAbs(pixel.red() - tint.red()) > 3 || qAbs(pixel.green() - tint.green()) > 3 ||
                qAbs(pixel.blue() - tint.blue()) > 3)
                *foreign = true;
        }
    return covered;
}

} // namespace

TEST(Symbols, EveryNameDrawsInExactlyTheTint)
{
    const QColor tint(200, 40, 90);
    for (const char* name : allSymbols) {
        const QPixmap pixmap = Symbols::pixmap(QString::fromLatin1(name), tint, 24);
        ASSERT_FALSE(pixmap.isNull()) << name;
        EXPECT_EQ(pixmap.size(), QSize(24, 24)) << name;
        bool foreign = false;
        const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
        EXPECT_GT(coverage(image, tint, &foreign), 20) << name;
        EXPECT_FALSE(foreign) << name;
    }
}

TEST(Symbols, FilledVariantsCoverMoreThanOutlines)
{
    bool foreign = false;
    for (const auto& [outline, filled] :
         {std::pair{"checkmark.circle", "checkmark.circle.fill"}, std::pair{"key", "key.fill"},
          std::pair{"checkmark.shield", "checkmark.shield.fill"}}) {
        const QImage a = Symbols::pixmap(QString::fromLatin1(outline), Qt::white, 32).toImage();
        const QImage b = Symbols::pixmap(QString::fromLatin1(filled), Qt::white, 32).toImage();
        EXPECT_GT(coverage(b.convertToFormat(QImage::Format_ARGB32), Qt::white, &foreign),
                  coverage(a.convertToFormat(QImage::Format_ARGB32), Qt::white, &foreign) * 3 / 2)
            << filled;
    }
}

TEST(Symbols, UnknownNamesAndColoursAreKeptApart)
{
    EXPECT_TRUE(Symbols::pixmap(QStringLiteral("no.such.symbol"), Qt::white, 16).isNull());
    EXPECT_TRUE(Symbols::icon(QStringLiteral("no.such.symbol"), Qt::white, 16).isNull());
    // Cached by name, colour and size: a second colour is not served the first one's pixels.
    const QImage red = Symbols::pixmap(QStringLiteral("plus"), Qt::red, 16).toImage();
    const QImage green = Symbols::pixmap(QStringLiteral("plus"), Qt::green, 16).toImage();
    EXPECT_NE(red, green);
    EXPECT_EQ(Symbols::pixmap(QStringLiteral("plus"), Qt::red, 20).size(), QSize(20, 20));
}
