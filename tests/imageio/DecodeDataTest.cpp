#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Bytes held in memory decode like the same bytes in a file, whatever their format.
TEST(ImageLoader, DecodesBytesOfEveryFormat)
{
    QTemporaryDir dir;
    const QImage fixture = TestSupport::opaqueFixture(40, 30);
    const std::pair<OutputFormat, const char*> formats[] = {
        {OutputFormat::png, "png"},   {OutputFormat::jpeg, "jpg"},  {OutputFormat::webp, "webp"},
        {OutputFormat::heic, "heic"}, {OutputFormat::tiff, "tiff"},
    };
    for (const auto& [format, extension] : formats) {
        const QString path = dir.filePath(QStringLiteral("fixture.") + extension);
        ImageWriter::write(fixture, path, format, 0.9, false);
        const QImage decoded = ImageLoader::decodeData(TestSupport::readBytes(path));
        ASSERT_FALSE(decoded.isNull()) << extension;
        EXPECT_EQ(decoded.size(), QSize(40, 30)) << extension;
        const QColor expected = fixture.pixelColor(20, 12);
        const QColor got = decoded.pixelColor(20, 12);
        EXPECT_NEAR(got.red(), expected.red(), 16) << extension;
        EXPECT_NEAR(got.blue(), expected.blue(), 16) << extension;
    }
}

TEST(ImageLoader, DecodeDataRefusesWhatIsNoImage)
{
    EXPECT_TRUE(ImageLoader::decodeData({}).isNull());
    EXPECT_TRUE(ImageLoader::decodeData("<html>not an image</html>").isNull());
    EXPECT_TRUE(ImageLoader::decodeData(TestSupport::forgedPng(100000, 100000)).isNull());
    QByteArray truncated = "RIFF\x10\x00\x00\x00WEBPVP8 ";
    EXPECT_TRUE(ImageLoader::decodeData(truncated).isNull());
}
