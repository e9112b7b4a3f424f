#include "core/EngineError.h"
#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <libheif/heif.h>

namespace {

struct FormatCase {
    OutputFormat format;
    const char* extension;
    int tolerance; // per channel, on pixels that are not fully transparent
    bool keepsAlpha;
};

int channelDistance(QColor a, QColor b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                     std::abs(a.blue() - b.blue())});
}

// Expected colour of a fixture pixel once composed over white.
QColor overWhite(QColor c)
{
    const double a = c.alphaF();
    auto mix = [a](int v) { return int(std::lround(v * a + 255 * (1 - a))); };
    return QColor(mix(c.red()), mix(c.green()), mix(c.blue()));
}

// Lossy codecs blur the fixture's hard edges; judge them away from those edges.
bool nearEdge(int x, int y)
{
    for (int edge : {4, 8, 12})
        if (std::abs(x - edge) <= 2 || std::abs(x + 1 - edge) <= 2)
            return true;
    return std::abs(y - 9) <= 2 || std::abs(y + 1 - 9) <= 2;
}

void expectMatches(const QImage& written, const QImage& original, const FormatCase& c)
{
    ASSERT_EQ(written.size(), original.size());
    EXPECT_EQ(written.hasAlphaChannel(), c.keepsAlpha) << c.extension;
    for (int y = 0; y < original.height(); ++y)
        for (int x = 0; x < original.width(); ++x) {
            if (c.tolerance && nearEdge(x, y))
                continue;
            const QColor want = original.pixelColor(x, y);
            const QColor got = written.pixelColor(x, y);
            if (c.keepsAlpha) {
                EXPECT_NEAR(got.alpha(), want.alpha(), c.tolerance ? c.tolerance : 1)
                    << c.extension;
                if (want.alpha() >= 128) {
                    EXPECT_LE(channelDistance(got, want), c.tolerance + (want.alpha() < 255))
                        << c.extension << " at " << x << "," << y;
                }
            } else {
                EXPECT_LE(channelDistance(got, overWhite(want)), c.tolerance + 1)
                    << c.extension << " at " << x << "," << y;
            }
        }
}

QString writeFixture(const QTemporaryDir& dir, const QString& name, const QImage& image,
                     OutputFormat format)
{
    const QString path = dir.filePath(name);
    ImageWriter::write(image, path, format, 0.92, false);
    return path;
}

// A JPEG whose EXIF orientation is 6 (stored sideways, shown turned 90 degrees clockwise).
QByteArray jpegWithOrientation6(const QImage& stored)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    writer.write(stored);
    const QByteArray tiff = QByteArray::fromHex("4d4d002a00000008"
                                                "0001"
                                                "011200030000000100060000"
                                                "00000000");
    QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    const int length = int(app1.size()) + 2;
    QByteArray segment = QByteArray::fromHex("ffe1");
    segment.append(char(length >> 8)).append(char(length & 0xff)).append(app1);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(ImageWriter, RoundTripsEveryFormat)
{
    QTemporaryDir dir;
    const QImage fixture = TestSupport::alphaFixture();
    const FormatCase cases[] = {
        {OutputFormat::png, "png", 0, true},    {OutputFormat::same, "png", 0, true},
        {OutputFormat::tiff, "tiff", 0, true},  {OutputFormat::jpeg, "jpg", 12, false},
        {OutputFormat::heic, "heic", 12, true},
    };
    for (const FormatCase& c : cases) {
        const QString path =
            writeFixture(dir, QStringLiteral("out-%1.%2").arg(int(c.format)).arg(c.extension),
                         fixture, c.format);
        expectMatches(ImageLoader::load(path), fixture, c);
    }
}

TEST(ImageWriter, WebPLosslessIsExactAndLossyFollowsQuality)
{
    QTemporaryDir dir;
    const QImage fixture = TestSupport::alphaFixture();
    const QString lossless = dir.filePath("lossless.webp");
    ImageWriter::write(fixture, lossless, OutputFormat::webp, 0.1, true);
    expectMatches(ImageLoader::load(lossless), fixture, {OutputFormat::webp, "webp", 0, true});

    const QImage photo = TestSupport::opaqueFixture(256, 256);
    const QString low = dir.filePath("low.webp");
    const QString high = dir.filePath("high.webp");
    ImageWriter::write(photo, low, OutputFormat::webp, 0.2, false);
    ImageWriter::write(photo, high, OutputFormat::webp, 0.95, false);
    EXPECT_LT(QFileInfo(low).size(), QFileInfo(high).size());
    const QString top = dir.filePath("top.webp");
    const QString huge = dir.filePath("huge.webp");
    ImageWriter::write(photo, top, OutputFormat::webp, 1.0, false);
    ImageWriter::write(photo, huge, OutputFormat::webp, 1e300, false);
    EXPECT_EQ(QFileInfo(huge).size(), QFileInfo(top).size());
    EXPECT_THROW(ImageWriter::write(photo, dir.filePath("nan.webp"), OutputFormat::webp,
                                    std::nan(""), false),
                 ImageError);
}

TEST(ImageWriter, JpegQualityIsClampedAndNaNMeansDefault)
{
    QTemporaryDir dir;
    const QImage photo = TestSupport::opaqueFixture(128, 128);
    const QString nan = writeFixture(dir, "nan.jpg", photo, OutputFormat::jpeg);
    ImageWriter::write(photo, dir.filePath("nan2.jpg"), OutputFormat::jpeg, std::nan(""), false);
    EXPECT_EQ(QFileInfo(nan).size(), QFileInfo(dir.filePath("nan2.jpg")).size());
    ImageWriter::write(photo, dir.filePath("full.jpg"), OutputFormat::jpeg, 1.0, false);
    ImageWriter::write(photo, dir.filePath("none.jpg"), OutputFormat::jpeg, 0.0, false);
    // Far out of range, even where times 100 no longer fits an integer.
    const auto sizeAt = [&](double quality) {
        const QString path = dir.filePath("q.jpg");
        ImageWriter::write(photo, path, OutputFormat::jpeg, quality, false);
        return QFileInfo(path).size();
    };
    for (double high : {7.0, 1e300, HUGE_VAL})
        EXPECT_EQ(sizeAt(high), QFileInfo(dir.filePath("full.jpg")).size()) << high;
    for (double low : {-1e300, -HUGE_VAL})
        EXPECT_EQ(sizeAt(low), QFileInfo(dir.filePath("none.jpg")).size()) << low;
    ImageWriter::write(photo, dir.filePath("big.heic"), OutputFormat::heic, 1e300, false);
    ImageWriter::write(photo, dir.filePath("full.heic"), OutputFormat::heic, 1.0, false);
    EXPECT_EQ(QFileInfo(dir.filePath("big.heic")).size(),
              QFileInfo(dir.filePath("full.heic")).size());
}

TEST(ImageWriter, WebPSideLimitRefusesBeforeWriting)
{
    QTemporaryDir dir;
    QImage wide(16383, 4, QImage::Format_RGBX8888);
    wide.fill(Qt::darkCyan);
    ImageWriter::write(wide, dir.filePath("ok.webp"), OutputFormat::webp, 0.5, false);
    EXPECT_EQ(ImageLoader::pixelSize(dir.filePath("ok.webp")), QSize(16383, 4));

    QImage tooWide(16384, 4, QImage::Format_RGBX8888);
    tooWide.fill(Qt::darkCyan);
    try {
        ImageWriter::write(tooWide, dir.filePath("no.webp"), OutputFormat::webp, 0.5, false);
        FAIL();
    } catch (const ImageError& error) {
        EXPECT_EQ(error.kind(), ImageError::Kind::webpTooLarge);
        EXPECT_EQ(error.width(), 16384);
        EXPECT_EQ(error.height(), 4);
    }
    EXPECT_FALSE(QFile::exists(dir.filePath("no.webp")));
}

// Past these sides libheif refuses to read a file back and libjpeg to write one.
TEST(ImageWriter, HeicAndJpegSideLimitsRefuseBeforeWriting)
{
    QTemporaryDir dir;
    const struct {
        OutputFormat format;
        QSize size;
        ImageError::Kind kind;
        QString message;
    } cases[] = {
        {OutputFormat::heic, QSize(32769, 64), ImageError::Kind::heicTooLarge,
         "HEIC max is 32768 px per side (result is 32769×64). Pick PNG/TIFF or a smaller scale."},
        {OutputFormat::heic, QSize(70000, 64), ImageError::Kind::heicTooLarge,
         "HEIC max is 32768 px per side (result is 70000×64). Pick PNG/TIFF or a smaller scale."},
        {OutputFormat::jpeg, QSize(2, 65501), ImageError::Kind::jpegTooLarge,
         "JPEG max is 65500 px per side (result is 2×65501). Pick PNG/TIFF or a smaller scale."},
    };
    for (const auto& c : cases) {
        QImage image(c.size, QImage::Format_RGBX8888);
        image.fill(Qt::gray);
        const QString path = dir.filePath("big." + fileExtension(c.format));
        try {
            ImageWriter::write(image, path, c.format, 0.9, false);
            ADD_FAILURE() << c.message.toStdString();
        } catch (const ImageError& error) {
            EXPECT_EQ(error.kind(), c.kind);
            EXPECT_EQ(error.message(), c.message);
        }
        EXPECT_FALSE(QFile::exists(path));
    }
    QImage tall(2, 65500, QImage::Format_RGBX8888);
    tall.fill(Qt::gray);
    ImageWriter::write(tall, dir.filePath("tall.jpg"), OutputFormat::jpeg, 0.9, false);
    EXPECT_EQ(ImageLoader::pixelSize(dir.filePath("tall.jpg")), QSize(2, 65500));
}

TEST(ImageWriter, MissingFolderIsCannotWriteNamingTheFile)
{
    QTemporaryDir dir;
    for (OutputFormat format : {OutputFormat::png, OutputFormat::jpeg, OutputFormat::tiff,
                                OutputFormat::heic, OutputFormat::webp}) {
        const QString path = dir.filePath("missing/out." + fileExtension(format));
        try {
            ImageWriter::write(TestSupport::alphaFixture(), path, format, 0.9, false);
            FAIL() << fileExtension(format).toStdString();
        } catch (const ImageError& error) {
            EXPECT_EQ(error.message(), "Can't write out." + fileExtension(format));
        }
    }
}

TEST(ImageWriter, FlattenComposesOverWhite)
{
    const QImage flat = ImageWriter::flatten(TestSupport::alphaFixture());
    EXPECT_FALSE(flat.hasAlphaChannel());
    EXPECT_EQ(flat.pixelColor(0, 0), QColor(255, 255, 255));
    EXPECT_LE(channelDistance(flat.pixelColor(5, 2), overWhite(QColor(220, 160, 70, 128))), 1);
    EXPECT_EQ(flat.pixelColor(20, 15), QColor(0, 0, 70));
}

TEST(ImageLoader, PixelSizeOfEveryReadableFormat)
{
    QTemporaryDir dir;
    const QImage image = TestSupport::opaqueFixture(40, 30);
    for (const char* ext : {"png", "jpg", "webp", "tiff", "bmp", "heic"}) {
        const QString path = dir.filePath(QStringLiteral("p.") + ext);
        if (QString(ext) == "heic" || QString(ext) == "webp")
            ImageWriter::write(image, path, resolved(OutputFormat::same, path), 0.9, false);
        else
            ASSERT_TRUE(image.save(path)) << ext;
        EXPECT_EQ(ImageLoader::pixelSize(path), QSize(40, 30)) << ext;
        const QImage loaded = ImageLoader::load(path);
        EXPECT_EQ(loaded.size(), QSize(40, 30)) << ext;
        const QImage thumb = ImageLoader::thumbnail(path, 20);
        EXPECT_EQ(thumb.size(), QSize(20, 15)) << ext;
        EXPECT_EQ(ImageLoader::thumbnail(path, 160).size(), QSize(40, 30))
            << "never enlarges " << ext;
    }
}

TEST(ImageLoader, ReadsTheFirstFrameOfAGif)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("one.gif");
    writeBytes(path,
               QByteArray::fromHex("47494638396101000100800000ff000000000021f90401000000002c0000"
                                   "0000010001000002024401003b"));
    EXPECT_EQ(ImageLoader::pixelSize(path), QSize(1, 1));
    EXPECT_EQ(ImageLoader::load(path).size(), QSize(1, 1));
}

TEST(ImageLoader, ReadsAvifThroughLibheif)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("pic.avif");
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(ctx, heif_compression_AV1, &encoder).code !=
        heif_error_Ok) {
        heif_context_free(ctx);
        GTEST_SKIP() << "no AV1 encoder";
    }
    heif_image* img = nullptr;
    heif_image_create(32, 16, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img);
    heif_image_add_plane(img, heif_channel_interleaved, 32, 16, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(img, heif_channel_interleaved, &stride);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32 * 3; ++x)
            plane[y * stride + x] = uint8_t(x % 3 == 0 ? 200 : 50);
    heif_context_encode_image(ctx, img, encoder, nullptr, nullptr);
    heif_context_write_to_file(ctx, QFile::encodeName(path).constData());
    heif_image_release(img);
    heif_encoder_release(encoder);
    heif_context_free(ctx);

    EXPECT_EQ(ImageLoader::pixelSize(path), QSize(32, 16));
    const QImage loaded = ImageLoader::load(path);
    ASSERT_EQ(loaded.size(), QSize(32, 16));
    EXPECT_NEAR(loaded.pixelColor(10, 8).red(), 200, 12);
    EXPECT_NEAR(loaded.pixelColor(10, 8).blue(), 50, 12);
}

TEST(ImageLoader, AppliesExifOrientation)
{
    QTemporaryDir dir;
    // Stored 40 wide and 20 high, with a red left half; shown turned clockwise, red lands on top.
    QImage stored(40, 20, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            stored.setPixelColor(x, y, Qt::red);
    const QString path = dir.filePath("exif-orientation-6.jpg");
    writeBytes(path, jpegWithOrientation6(stored));
    EXPECT_EQ(ImageLoader::pixelSize(path), QSize(20, 40));
    const QImage upright = ImageLoader::load(path);
    ASSERT_EQ(upright.size(), QSize(20, 40));
    EXPECT_GT(upright.pixelColor(10, 5).red(), 200);
    EXPECT_GT(upright.pixelColor(10, 35).blue(), 200);
    EXPECT_EQ(ImageLoader::thumbnail(path, 20).size(), QSize(10, 20));
}

TEST(ImageLoader, RefusesBrokenFilesAndBombs)
{
    QTemporaryDir dir;
    const QString broken = dir.filePath("broken.png");
    writeBytes(broken, QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 'x'));
    try {
        ImageLoader::load(broken);
        FAIL();
    } catch (const ImageError& error) {
        EXPECT_EQ(error.message(), "Can't read broken.png");
    }
    EXPECT_FALSE(ImageLoader::pixelSize(broken));
    EXPECT_TRUE(ImageLoader::thumbnail(broken, 160).isNull());
    EXPECT_THROW(ImageLoader::load(dir.filePath("absent.jpg")), ImageError);

    // A valid PNG header declaring 100000 x 100000 pixels: measured, never allocated.
    QByteArray png = QByteArray("\x89PNG\r\n\x1a\n", 8);
    const QByteArray ihdr = QByteArray::fromHex("0000000d49484452"
                                                "000186a0000186a0"
                                                "0806000000");
    png += ihdr + QByteArray::fromHex("a8520bc8");
    png += QByteArray::fromHex("0000001149444154789c63601805a360140c77000003e80001b3a6d346"
                               "0000000049454e44ae426082");
    const QString bomb = dir.filePath("bomb.png");
    writeBytes(bomb, png);
    EXPECT_EQ(ImageLoader::pixelSize(bomb), QSize(100000, 100000));
    EXPECT_THROW(ImageLoader::load(bomb), ImageError);
}

TEST(ImageLoader, ResizeStretchesToTheExactSize)
{
    const QImage resized = ImageLoader::resize(TestSupport::alphaFixture(), 48, 9);
    EXPECT_EQ(resized.size(), QSize(48, 9));
    EXPECT_TRUE(resized.hasAlphaChannel());
    EXPECT_EQ(resized.pixelColor(1, 4).alpha(), 0);
    EXPECT_EQ(resized.pixelColor(46, 1).alpha(), 255);
    EXPECT_THROW(ImageLoader::resize(TestSupport::alphaFixture(), 0, 5), ImageError);
}

TEST(ImageLoader, PreviewRunsOffTheCallingThread)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("p.png");
    TestSupport::opaqueFixture(300, 100).save(path);
    QFuture<QImage> future = ImageLoader::preview(path, 150);
    EXPECT_EQ(future.result().size(), QSize(150, 50));
    EXPECT_TRUE(ImageLoader::preview(dir.filePath("none.png"), 150).result().isNull());
}

TEST(ImageLoader, TenBitHeicComesOutAsEightBits)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("deep.heic");
    heif_context* ctx = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    ASSERT_EQ(heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &encoder).code,
              heif_error_Ok);
    heif_image* img = nullptr;
    heif_image_create(64, 32, heif_colorspace_RGB, heif_chroma_interleaved_RRGGBB_LE, &img);
    heif_image_add_plane(img, heif_channel_interleaved, 64, 32, 10);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(img, heif_channel_interleaved, &stride);
    for (int y = 0; y < 32; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(plane + y * stride);
        for (int x = 0; x < 64; ++x) {
            row[3 * x] = 800;     // 800 / 1023 of full red: about 199 in 8 bits
            row[3 * x + 1] = 200; // about 50
            row[3 * x + 2] = 1023;
        }
    }
    ASSERT_EQ(heif_context_encode_image(ctx, img, encoder, nullptr, nullptr).code, heif_error_Ok);
    heif_context_write_to_file(ctx, QFile::encodeName(path).constData());
    heif_image_release(img);
    heif_encoder_release(encoder);
    heif_context_free(ctx);

    heif_context* check = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_context_read_from_file(check, QFile::encodeName(path).constData(), nullptr);
    heif_context_get_primary_image_handle(check, &handle);
    EXPECT_EQ(heif_image_handle_get_luma_bits_per_pixel(handle), 10);
    heif_image_handle_release(handle);
    heif_context_free(check);

    const QImage loaded = ImageLoader::load(path);
    ASSERT_EQ(loaded.size(), QSize(64, 32));
    const QColor c = loaded.pixelColor(30, 15);
    EXPECT_NEAR(c.red(), 199, 8);
    EXPECT_NEAR(c.green(), 50, 8);
    EXPECT_NEAR(c.blue(), 255, 8);
}
