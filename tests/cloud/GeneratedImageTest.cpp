#include "cloud/GeneratedImage.h"
#include "StudioFixture.h"
#include "TestSupport.h"

#include <QtEndian>

using namespace TestSupport;

namespace {

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : bytes) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    QByteArray out(4, '\0');
    qToBigEndian(quint32(data.size()), out.data());
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(type + data), crc.data());
    return out + type + data + crc;
}

// A PNG that declares width x height (8-bit grey) and holds no usable picture data.
QByteArray pngHeaderOnly(quint32 width, quint32 height)
{
    QByteArray header(13, '\0');
    qToBigEndian(width, header.data());
    qToBigEndian(height, header.data() + 4);
    header[8] = 8; // bit depth; colour type 0 (grey), no interlace
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + chunk("IHDR", header) +
           chunk("IDAT", QByteArray("\x78\x9C", 2)) + chunk("IEND", {});
}

QByteArray encodedPng(int width, int height)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(128);
    return GeneratedImage::encodePng(image);
}

} // namespace

TEST(GeneratedImage, RefusesPicturesLargerThanAnyModelMakes)
{
    EXPECT_EQ(GeneratedImage::toPng(pngHeaderOnly(25000, 25000)).error(), GeneratedImage::tooLarge);
    EXPECT_EQ(GeneratedImage::toPng(encodedPng(8193, 4)).error(), GeneratedImage::tooLarge);
    EXPECT_EQ(GeneratedImage::toPng(encodedPng(4, 8193)).error(), GeneratedImage::tooLarge);

    const Result<QByteArray> edge = GeneratedImage::toPng(encodedPng(8192, 4));
    ASSERT_TRUE(edge.isOk()) << edge.error().toStdString();
    EXPECT_EQ(QImage::fromData(edge.value(), "png").size(), QSize(8192, 4));

    EXPECT_EQ(GeneratedImage::toPng("not an image").error(), GeneratedImage::cannotSave);
    EXPECT_EQ(GeneratedImage::toPng(pngHeaderOnly(64, 64)).error(), GeneratedImage::cannotSave);
}

TEST_F(StudioTest, OversizedResultIsRefusedAndTheJobKept)
{
    server.reply("POST", "/api/cloud/generate", HttpReply::json(200, R"({"status":"queued"})"));
    server.reply("POST", "/api/cloud/result",
                 HttpReply::json(200, "{\"status\":\"completed\",\"image_base64\":\"" +
                                          encodedPng(9000, 8).toBase64() + "\"}"));
    choice = pathIn(u"huge.png"_qs);
    auto studio = makeStudio();
    studio->generate(u"a fox"_qs, model(), std::nullopt, false, {});
    waitIdle(*studio);
    EXPECT_EQ(studio->message(), GeneratedImage::tooLarge);
    EXPECT_FALSE(QFileInfo::exists(*choice));
    EXPECT_EQ(entries(folder.path()), QStringList{u"settings.ini"_qs});
    EXPECT_FALSE(studio->resumeJob().isNull());
    EXPECT_TRUE(settings->contains(u"cloudJob"_qs));
}
