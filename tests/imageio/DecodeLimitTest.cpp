#include "core/EngineError.h"
#include "imageio/ImageLoader.h"

#include "TestSupport.h"

#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

QByteArray progressiveJpeg(const QImage& image)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.write(image);
    return jpeg;
}

// The frame header's height and width rewritten; the scans still hold the small picture.
QByteArray withDeclaredSize(QByteArray jpeg, quint16 width, quint16 height)
{
    const qsizetype frame = jpeg.indexOf("\xff\xc2");
    if (frame < 0)
        return {};
    qToBigEndian(height, jpeg.data() + frame + 5);
    qToBigEndian(width, jpeg.data() + frame + 7);
    return jpeg;
}

// 16-bit RGB with a transparent colour, as only the own decoder reads it, over a token of data.
QByteArray deepPngDeclaring(quint32 width, quint32 height)
{
    return TestSupport::plainPng(width, height, 16, 2, QByteArray(qsizetype(height) * 48, '\0'),
                                 TestSupport::pngChunk("tRNS", QByteArray(6, '\0')));
}

qint64 peakResidentBytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

bool refusesToRead(const QString& path)
{
    if (!ImageLoader::thumbnail(path, 160).isNull())
        return false;
    try {
        ImageLoader::load(path);
    } catch (const ImageError& error) {
        return error.message() == "Can't read " + QFileInfo(path).fileName();
    }
    return false;
}

} // namespace

// Tiny files whose headers claim gigapixels: libjpeg would hold a progressive picture's whole
// coefficient buffer (6 GB here) and libpng a row buffer of 8.6 GB, whatever size is asked for.
// Each is refused from its header, in a fresh process whose peak memory is measured.
TEST(DecodeLimitDeathTest, HeadersOverTheLimitCostNoMemory)
{
    QTemporaryDir dir;
    const QImage picture = TestSupport::opaqueFixture(32, 24);
    const QByteArray small = progressiveJpeg(picture);
    const QString jpeg = dir.filePath("panorama.jpg");
    TestSupport::writeBytes(jpeg, withDeclaredSize(small, 42212, 47079));
    const QString png = dir.filePath("deep.png");
    TestSupport::writeBytes(png, deepPngDeclaring(1073741856u, 32));
    ASSERT_LT(QFileInfo(jpeg).size(), 2000);
    ASSERT_LT(QFileInfo(png).size(), 2500);

    // Still measured, so the row shows its size; only decoding is refused.
    EXPECT_EQ(ImageLoader::pixelSize(jpeg), QSize(42212, 47079));
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (const QString& path : {jpeg, png}) {
        EXPECT_EXIT(
            {
                const qint64 before = peakResidentBytes();
                const bool refused = refusesToRead(path);
                const qint64 grown = peakResidentBytes() - before;
                std::fprintf(stderr, "refused %d, peak grew by %lld MB\n", refused,
                             static_cast<long long>(grown >> 20));
                _exit(refused && grown < (qint64(256) << 20) ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "")
            << path.toStdString();
    }

    // A genuine progressive picture and a deep PNG of ordinary size still read.
    const QString fine = dir.filePath("fine.jpg");
    TestSupport::writeBytes(fine, small);
    EXPECT_EQ(ImageLoader::load(fine).size(), QSize(32, 24));
    EXPECT_EQ(ImageLoader::thumbnail(fine, 16).size(), QSize(16, 12));
    const QString deep = dir.filePath("deep-small.png");
    TestSupport::writeBytes(deep, deepPngDeclaring(8, 32));
    EXPECT_EQ(ImageLoader::load(deep).size(), QSize(8, 32));
}
