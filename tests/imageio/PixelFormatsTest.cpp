#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QColorSpace>
#include <QImageReader>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QByteArray be16(quint16 v)
{
    return QByteArray(1, char(v >> 8)) + char(v & 0xff);
}

// 32x16, left half clear, right half opaque red, in the pixel layouts sources arrive in.
QImage paletteSource()
{
    QImage image(32, 16, QImage::Format_Indexed8);
    image.setColorTable({qRgba(0, 0, 0, 0), qRgba(200, 30, 30, 255)});
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y, x < 16 ? 0 : 1);
    return image;
}

QImage deepSource()
{
    QImage image(32, 16, QImage::Format_RGBA64);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            image.setPixelColor(x, y, x < 16 ? QColor(0, 0, 0, 0) : QColor(200, 30, 30));
    return image;
}

// Grey and alpha, as a file: Qt cannot write this layout, so it is built by hand.
QString greyAlphaFile(const QTemporaryDir& dir)
{
    QByteArray samples;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            samples += x < 16 ? QByteArray("\x80\x00", 2) : QByteArray("\xc8\xff", 2);
    const QString path = dir.filePath("grey-alpha.png");
    TestSupport::writeBytes(path, TestSupport::plainPng(32, 16, 8, 4, samples));
    return path;
}

void expectClearThenOpaque(const QImage& image, const std::string& what)
{
    ASSERT_EQ(image.size(), QSize(32, 16)) << what;
    EXPECT_LE(image.pixelColor(4, 8).alpha(), 8) << what;
    EXPECT_GE(image.pixelColor(28, 8).alpha(), 247) << what;
}

} // namespace

TEST(PixelFormats, AlphaSurvivesEveryFormatFromEverySourceLayout)
{
    QTemporaryDir dir;
    const QString palettePath = dir.filePath("palette.png");
    ASSERT_TRUE(paletteSource().save(palettePath));
    const struct {
        const char* name;
        QImage image;
    } sources[] = {{"palette", ImageLoader::load(palettePath)},
                   {"palette in memory", paletteSource()},
                   {"grey+alpha", ImageLoader::load(greyAlphaFile(dir))},
                   {"16-bit", deepSource()}};
    for (const auto& source : sources)
        for (OutputFormat format :
             {OutputFormat::png, OutputFormat::tiff, OutputFormat::webp, OutputFormat::heic}) {
            const std::string what =
                std::string(source.name) + " to " + fileExtension(format).toStdString();
            const QString path = dir.filePath(QString::fromStdString(what).replace(' ', '-') + '.' +
                                              fileExtension(format));
            ImageWriter::write(source.image, path, format, 0.95, true);
            expectClearThenOpaque(ImageLoader::load(path), what);
        }
}

TEST(PixelFormats, PngKeepsDepthGreyAndProfile)
{
    QTemporaryDir dir;
    QImage deep(8, 4, QImage::Format_RGBA64);
    deep.fill(QColor::fromRgba64(0x1234, 0xabcd, 0x0102, 0x8001));
    ImageWriter::write(deep, dir.filePath("deep.png"), OutputFormat::png, 1, false);
    const QImage deepBack = QImageReader(dir.filePath("deep.png")).read();
    EXPECT_EQ(deepBack.format(), QImage::Format_RGBA64);
    EXPECT_EQ(deepBack.pixelColor(3, 2).rgba64(),
              QRgba64::fromRgba64(0x1234, 0xabcd, 0x0102, 0x8001));

    QImage grey(8, 4, QImage::Format_Grayscale16);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            reinterpret_cast<quint16*>(grey.scanLine(y))[x] = quint16(0x4321 + x);
    ImageWriter::write(grey, dir.filePath("grey.png"), OutputFormat::png, 1, false);
    const QImage greyBack = QImageReader(dir.filePath("grey.png")).read();
    EXPECT_EQ(greyBack.format(), QImage::Format_Grayscale16);
    EXPECT_EQ(reinterpret_cast<const quint16*>(greyBack.constScanLine(3))[5], 0x4326);

    QImage wide = TestSupport::opaqueFixture(8, 4);
    wide.setColorSpace(QColorSpace::DisplayP3);
    ImageWriter::write(wide, dir.filePath("p3.png"), OutputFormat::png, 1, false);
    EXPECT_EQ(QImageReader(dir.filePath("p3.png")).read().colorSpace(),
              QColorSpace(QColorSpace::DisplayP3));
}

// Large enough for several compressed bands and data chunks, noisy so no band is trivial.
TEST(PixelFormats, PngBandsJoinIntoOneExactStream)
{
    QTemporaryDir dir;
    for (bool alpha : {false, true}) {
        const QImage noise = TestSupport::noiseFixture(900, 700, alpha);
        const QString path = dir.filePath(alpha ? "rgba.png" : "rgb.png");
        ImageWriter::write(noise, path, OutputFormat::png, 1, false);
        const QImage back = QImageReader(path).read();
        ASSERT_EQ(back.size(), noise.size());
        EXPECT_EQ(back.convertToFormat(noise.format()), noise) << alpha;
    }
}

TEST(PixelFormats, DeepRgbPngKeepsItsTransparentColour)
{
    QTemporaryDir dir;
    QByteArray samples;
    for (int x = 0; x < 4; ++x)
        samples +=
            x % 2 ? be16(0xffff) + be16(0) + be16(0) : be16(0x1000) + be16(0x2000) + be16(0x3000);
    const QByteArray transparent = be16(0x1000) + be16(0x2000) + be16(0x3000);
    const QString path = dir.filePath("deep-trns.png");
    TestSupport::writeBytes(
        path,
        TestSupport::plainPng(4, 1, 16, 2, samples, TestSupport::pngChunk("tRNS", transparent)));
    EXPECT_EQ(ImageLoader::pixelSize(path), QSize(4, 1));
    for (const QImage& image : {ImageLoader::load(path), ImageLoader::thumbnail(path, 160)}) {
        ASSERT_EQ(image.size(), QSize(4, 1));
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(image.pixelColor(1, 0), QColor(255, 0, 0));
    }
    // Without the chunk the same pixels are opaque.
    TestSupport::writeBytes(path, TestSupport::plainPng(4, 1, 16, 2, samples));
    EXPECT_EQ(ImageLoader::load(path).pixelColor(0, 0).alpha(), 255);
}

TEST(PixelFormats, TopDownBmpIsRead)
{
    // 2x2, 24-bit, negative height: the first stored row is the top one. Rows pad to 8 bytes.
    QByteArray bmp = QByteArray::fromHex("424d4600000000000000360000002800000002000000feffffff"
                                         "010018000000000010000000130b0000130b0000000000000000"
                                         "0000");
    bmp += QByteArray::fromHex("0000ff0000ff0000"); // top: red, red (stored blue, green, red)
    bmp += QByteArray::fromHex("ff0000ff00000000"); // bottom: blue, blue
    QTemporaryDir dir;
    const QString path = dir.filePath("topdown.bmp");
    TestSupport::writeBytes(path, bmp);
    EXPECT_EQ(ImageLoader::pixelSize(path), QSize(2, 2));
    const QImage image = ImageLoader::load(path);
    ASSERT_EQ(image.size(), QSize(2, 2));
    EXPECT_EQ(image.pixelColor(0, 0), QColor(255, 0, 0));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(0, 0, 255));
}

TEST(PixelFormats, PicturesOver128MegabytesLoadWithAPlainReader)
{
    EXPECT_GE(QImageReader::allocationLimit(), int(ImageLoader::decodeLimitBytes >> 20));
    QTemporaryDir dir;
    QImage big(6000, 6000, QImage::Format_RGB32); // 144 MB once decoded
    big.fill(Qt::darkCyan);
    const QString path = dir.filePath("big.png");
    ImageWriter::write(big, path, OutputFormat::png, 1, false);
    big = QImage();
    EXPECT_EQ(QImageReader(path).read().size(), QSize(6000, 6000));
}
