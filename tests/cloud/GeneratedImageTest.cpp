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

#include <QImageWriter>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Bytes this thread has handed to write(2) and its kin so far; Linux counts them per thread.
std::optional<qint64> bytesWrittenByThisThread()
{
    QFile io(u"/proc/self/task/%1/io"_qs.arg(qint64(::syscall(SYS_gettid))));
    if (!io.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("wchar:"))
            return line.mid(6).trimmed().toLongLong();
    return std::nullopt;
}

// A small JPEG whose picture makes a large PNG.
QByteArray noisyJpeg()
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(30);
    writer.write(noiseFixture(1024, 1024, false));
    return jpeg;
}

} // namespace

// A generated image may be hundreds of MB of PNG: the window's thread never writes it itself.
TEST_F(StudioTest, TheGeneratedImageIsWrittenOffTheGuiThread)
{
    if (!bytesWrittenByThisThread())
        GTEST_SKIP() << "no per-thread I/O counts on this system";
    storeKey("xai-" + QByteArray(40, 'K'));
    server.reply(
        "POST", "/v1/images/generations",
        HttpReply::json(200, "{\"data\":[{\"b64_json\":\"" + noisyJpeg().toBase64() + "\"}]}"));
    choice = pathIn(u"large.png"_qs);
    auto studio = makeStudio();
    const qint64 before = bytesWrittenByThisThread().value_or(0);
    studio->generate(u"a fox"_qs, model(), std::nullopt, true, {});
    waitIdle(*studio);
    ASSERT_EQ(studio->outputURL(), *choice) << studio->message().toStdString();
    const qint64 saved = QFileInfo(*choice).size();
    const qint64 written = bytesWrittenByThisThread().value_or(0) - before;
    EXPECT_LT(written, saved / 2) << written << " bytes written for a file of " << saved;
}
