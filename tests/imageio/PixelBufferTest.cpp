#include "imageio/PixelBuffer.h"
#include "core/EngineError.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

TEST(PixelBuffer, UnpremultiplyRoundsAndClips)
{
    PixelBuffer buffer(4, 1);
    const uint8_t pixels[16] = {64, 32, 0, 128, 1, 1, 1, 1, 9, 9, 9, 0, 7, 8, 9, 255};
    std::memcpy(buffer.data(), pixels, 16);
    buffer.unpremultiply();
    const uint8_t* p = buffer.data();
    EXPECT_EQ(std::vector<int>(p, p + 4), (std::vector<int>{128, 64, 0, 128}));
    EXPECT_EQ(std::vector<int>(p + 4, p + 8), (std::vector<int>{255, 255, 255, 1}));
    EXPECT_EQ(std::vector<int>(p + 8, p + 16), (std::vector<int>{9, 9, 9, 0, 7, 8, 9, 255}));
}

TEST(PixelBuffer, FromKeepsStraightAlphaAndUnpremultipliesPremultipliedSources)
{
    const QImage straight = TestSupport::alphaFixture();
    PixelBuffer a = PixelBuffer::from(straight);
    ASSERT_EQ(a.width(), 24);
    ASSERT_EQ(a.height(), 18);
    const uint8_t* px = a.row(2) + 4 * 5; // x 5: alpha 128
    EXPECT_EQ(px[0], 220);
    EXPECT_EQ(px[1], 160);
    EXPECT_EQ(px[2], 70);
    EXPECT_EQ(px[3], 128);

    QImage premultiplied(1, 1, QImage::Format_RGBA8888_Premultiplied);
    premultiplied.setPixel(0, 0, qRgba(64, 32, 0, 128)); // stored as given: already premultiplied
    std::memcpy(premultiplied.bits(), "\x40\x20\x00\x80", 4);
    PixelBuffer b = PixelBuffer::from(premultiplied);
    EXPECT_EQ(b.data()[0], 128);
    EXPECT_EQ(b.data()[1], 64);

    QImage opaque(2, 2, QImage::Format_RGB32);
    opaque.fill(QColor(10, 20, 30));
    PixelBuffer c = PixelBuffer::from(opaque);
    EXPECT_EQ(c.data()[2], 30);
    EXPECT_EQ(c.data()[3], 255);
}

TEST(PixelBuffer, ImageOutlivesItsBufferWithoutACopy)
{
    QImage image;
    const uint8_t* memory = nullptr;
    {
        PixelBuffer buffer(3, 2);
        buffer.data()[0] = 42;
        buffer.data()[3] = 255;
        memory = buffer.data();
        image = buffer.makeImage(true);
        EXPECT_FALSE(buffer.owned());
    }
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.constBits(), memory);
    EXPECT_EQ(image.format(), QImage::Format_RGBA8888);
    EXPECT_EQ(image.colorSpace(), sRGB());
    EXPECT_EQ(qRed(image.pixel(0, 0)), 42);
}

TEST(PixelBuffer, ImpossibleSizesAreOutOfMemory)
{
    EXPECT_THROW(PixelBuffer(qint64(1) << 31, qint64(1) << 31), ImageError);
    EXPECT_THROW(PixelBuffer(0, 10), ImageError);
    EXPECT_THROW(PixelBuffer::from(QImage()), ImageError);
}
