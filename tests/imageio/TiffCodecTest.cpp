#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tiffio.h>

namespace {

struct Tags {
    uint16_t samples = 0;
    uint16_t bits = 0;
    uint16_t photometric = 0;
    uint16_t compression = 0;
    uint16_t alpha = 0; // EXTRASAMPLE_ value, 0 when none
    bool profile = false;
};

Tags tagsOf(const QString& path)
{
    Tags tags;
    TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tiff)
        return tags;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &tags.samples);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &tags.bits);
    TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &tags.photometric);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &tags.compression);
    uint16_t count = 0;
    uint16_t* extra = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &extra) && count == 1)
        tags.alpha = extra[0];
    uint32_t length = 0;
    void* icc = nullptr;
    tags.profile = TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &length, &icc) && length > 0;
    TIFFClose(tiff);
    return tags;
}

QImage filled(QImage::Format format, QColor colour)
{
    QImage image(24, 18, format);
    image.fill(colour);
    return image;
}

} // namespace

// Files keep the source's depth, alpha kind and profile, uncompressed, as they always have.
TEST(TiffCodec, KeepsDepthAlphaKindAndProfile)
{
    QTemporaryDir dir;
    QImage wide = filled(QImage::Format_RGB32, QColor(60, 160, 90));
    wide.setColorSpace(QColorSpace::DisplayP3);
    const struct {
        const char* name;
        QImage image;
        Tags tags;
    } cases[] = {
        {"rgb", filled(QImage::Format_RGB32, Qt::darkCyan), {3, 8, PHOTOMETRIC_RGB, 1, 0, false}},
        {"straight",
         filled(QImage::Format_RGBA8888, QColor(200, 30, 30, 128)),
         {4, 8, PHOTOMETRIC_RGB, 1, EXTRASAMPLE_UNASSALPHA, false}},
        {"premultiplied",
         filled(QImage::Format_ARGB32_Premultiplied, QColor(200, 30, 30, 128)),
         {4, 8, PHOTOMETRIC_RGB, 1, EXTRASAMPLE_ASSOCALPHA, false}},
        {"deep",
         filled(QImage::Format_RGBA64, QColor(200, 30, 30, 128)),
         {4, 16, PHOTOMETRIC_RGB, 1, EXTRASAMPLE_UNASSALPHA, false}},
        {"deep opaque",
         filled(QImage::Format_RGBX64, Qt::darkCyan),
         {3, 16, PHOTOMETRIC_RGB, 1, 0, false}},
        {"grey",
         filled(QImage::Format_Grayscale16, Qt::gray),
         {1, 16, PHOTOMETRIC_MINISBLACK, 1, 0, false}},
        {"profile", wide, {3, 8, PHOTOMETRIC_RGB, 1, 0, true}},
    };
    for (const auto& c : cases) {
        const QString path = dir.filePath(QString(c.name) + ".tiff");
        ImageWriter::write(c.image, path, OutputFormat::tiff, 1, false);
        const Tags tags = tagsOf(path);
        EXPECT_EQ(tags.samples, c.tags.samples) << c.name;
        EXPECT_EQ(tags.bits, c.tags.bits) << c.name;
        EXPECT_EQ(tags.photometric, c.tags.photometric) << c.name;
        EXPECT_EQ(tags.compression, COMPRESSION_NONE) << c.name;
        EXPECT_EQ(tags.alpha, c.tags.alpha) << c.name;
        EXPECT_EQ(tags.profile, c.tags.profile) << c.name;
        const QImage back = QImageReader(path).read();
        ASSERT_EQ(back.size(), c.image.size()) << c.name;
        // Qt reads 8-bit alpha premultiplied, so only opaque and deep pixels come back exactly.
        const QColor want = c.image.pixelColor(5, 5);
        const QColor got = back.pixelColor(5, 5);
        if (c.tags.alpha && c.tags.bits == 8)
            EXPECT_LE(std::abs(got.red() - want.red()) + std::abs(got.alpha() - want.alpha()), 1)
                << c.name;
        else
            EXPECT_EQ(got.rgba64(), want.rgba64()) << c.name;
    }
}

// Rows travel in several strips; every one lands in place.
TEST(TiffCodec, StripsJoinIntoTheExactPicture)
{
    QTemporaryDir dir;
    for (bool alpha : {false, true}) {
        const QImage noise = TestSupport::noiseFixture(900, 700, alpha);
        const QString path = dir.filePath(alpha ? "rgba.tiff" : "rgb.tiff");
        ImageWriter::write(noise, path, OutputFormat::tiff, 1, false);
        const QImage back = QImageReader(path).read();
        ASSERT_EQ(back.size(), noise.size());
        // Alpha exactly everywhere; colour exactly where opaque (Qt premultiplies on reading).
        EXPECT_EQ(back.convertToFormat(QImage::Format_Alpha8),
                  noise.convertToFormat(QImage::Format_Alpha8));
        const QImage colour = back.convertToFormat(noise.format());
        int wrong = 0;
        for (int y = 0; y < noise.height(); ++y)
            for (int x = 0; x < noise.width(); ++x)
                if (qAlpha(noise.pixel(x, y)) == 255 && colour.pixel(x, y) != noise.pixel(x, y))
                    ++wrong;
        EXPECT_EQ(wrong, 0) << alpha;
    }
}
