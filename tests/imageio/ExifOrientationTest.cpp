#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>

namespace {

// Big-endian EXIF holding only the orientation tag.
QByteArray exifOrientation(int value)
{
    QByteArray exif =
        QByteArray::fromHex("4d4d002a000000080001011200030000000100000000000000000000");
    exif[19] = char(value);
    return exif;
}

// Stored 40 wide and 20 high with a red left half: shown turned clockwise, red lands on top.
QImage storedSideways()
{
    QImage stored(40, 20, QImage::Format_RGB32);
    stored.fill(Qt::blue);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            stored.setPixelColor(x, y, Qt::red);
    return stored;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(100);
    writer.write(image);
    return bytes;
}

// The eXIf chunk after the image data, where it may also stand.
QByteArray pngWithExif(const QByteArray& exif)
{
    QByteArray png = encoded(storedSideways(), "png");
    return png.insert(png.size() - 12, TestSupport::pngChunk("eXIf", exif));
}

QByteArray le32(quint32 v)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(v, bytes.data());
    return bytes;
}

QByteArray riffChunk(const char* type, QByteArray data)
{
    const quint32 size = quint32(data.size());
    if (data.size() % 2)
        data += '\0';
    return QByteArray(type, 4) + le32(size) + data;
}

// An extended WebP: VP8X header flagging EXIF, the lossless image, then the EXIF chunk.
QByteArray webpWithExif(const QString& scratch, const QByteArray& exif)
{
    ImageWriter::write(storedSideways(), scratch, OutputFormat::webp, 1.0, true);
    const QByteArray simple = TestSupport::readBytes(scratch);
    const QByteArray image = simple.mid(12); // the VP8L chunk
    QByteArray vp8x(10, '\0');
    vp8x[0] = 0x08;
    const quint32 w = 40 - 1;
    const quint32 h = 20 - 1;
    vp8x[4] = char(w & 0xff);
    vp8x[5] = char((w >> 8) & 0xff);
    vp8x[7] = char(h & 0xff);
    vp8x[8] = char((h >> 8) & 0xff);
    const QByteArray body =
        QByteArray("WEBP") + riffChunk("VP8X", vp8x) + image + riffChunk("EXIF", exif);
    return QByteArray("RIFF") + le32(quint32(body.size())) + body;
}

void expectUpright(const QString& path, const char* what)
{
    EXPECT_EQ(ImageLoader::pixelSize(path), QSize(20, 40)) << what;
    const QImage loaded = ImageLoader::load(path);
    const QImage fromBytes = ImageLoader::decodeData(TestSupport::readBytes(path));
    for (const QImage& upright : {loaded, fromBytes}) {
        ASSERT_EQ(upright.size(), QSize(20, 40)) << what;
        EXPECT_GT(upright.pixelColor(10, 5).red(), 200) << what;
        EXPECT_GT(upright.pixelColor(10, 35).blue(), 200) << what;
    }
    const QImage thumb = ImageLoader::thumbnail(path, 20);
    ASSERT_EQ(thumb.size(), QSize(10, 20)) << what;
    EXPECT_GT(thumb.pixelColor(5, 2).red(), 200) << what;
}

} // namespace

TEST(ExifOrientation, PngAndWebPAreTurnedLikeJpeg)
{
    QTemporaryDir dir;
    const QString png = dir.filePath("exif-orientation-6.png");
    TestSupport::writeBytes(png, pngWithExif(exifOrientation(6)));
    expectUpright(png, "png");
    // Some writers keep the JPEG prefix in the chunk.
    TestSupport::writeBytes(png, pngWithExif(QByteArray("Exif\0\0", 6) + exifOrientation(6)));
    expectUpright(png, "png with prefix");

    const QString webp = dir.filePath("exif-orientation-6.webp");
    TestSupport::writeBytes(webp, webpWithExif(dir.filePath("plain.webp"), exifOrientation(6)));
    expectUpright(webp, "webp");
}

TEST(ExifOrientation, UnturnedAndBrokenTagsLeaveThePictureAlone)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("odd.png");
    for (const QByteArray& exif : {exifOrientation(1), QByteArray("MM\0*\0\0\xff\xff", 8),
                                   QByteArray("junk"), QByteArray()}) {
        TestSupport::writeBytes(path, pngWithExif(exif));
        EXPECT_EQ(ImageLoader::pixelSize(path), QSize(40, 20));
        EXPECT_EQ(ImageLoader::load(path).size(), QSize(40, 20));
    }
}
