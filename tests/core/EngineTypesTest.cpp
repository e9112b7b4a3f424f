#include "core/EngineError.h"
#include "core/Item.h"
#include "core/JobSettings.h"

#include <cmath>
#include <gtest/gtest.h>

TEST(OutputFormat, ResolvesSameFromTheSourceExtension)
{
    const struct {
        const char* source;
        OutputFormat expected;
    } cases[] = {
        {"/p/photo.JPG", OutputFormat::jpeg}, {"/p/a.jpeg", OutputFormat::jpeg},
        {"/p/scan.heif", OutputFormat::heic}, {"/p/b.HEIC", OutputFormat::heic},
        {"/p/c.tif", OutputFormat::tiff},     {"/p/c.tiff", OutputFormat::tiff},
        {"/p/d.webp", OutputFormat::webp},    {"/p/anim.gif", OutputFormat::png},
        {"/p/noext", OutputFormat::png},      {"/p/.jpg", OutputFormat::png},
        {"/p/photo.avif", OutputFormat::png}, {"/p/dir.jpg/pic.bmp", OutputFormat::png},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolved(OutputFormat::same, c.source), c.expected) << c.source;
    EXPECT_EQ(resolved(OutputFormat::svg, "/p/a.jpg"), OutputFormat::svg);
    EXPECT_EQ(resolved(OutputFormat::png, "/p/a.jpg"), OutputFormat::png);
}

TEST(OutputFormat, RawValuesRoundTripExactly)
{
    const QStringList raws{"Same as source", "PNG", "JPEG", "WebP", "HEIC", "TIFF", "SVG vector"};
    ASSERT_EQ(allOutputFormats().size(), raws.size());
    for (int i = 0; i < raws.size(); ++i) {
        EXPECT_EQ(rawValue(allOutputFormats()[i]), raws[i]);
        EXPECT_EQ(outputFormatFromRaw(raws[i]), allOutputFormats()[i]);
    }
    EXPECT_FALSE(outputFormatFromRaw("png"));
    EXPECT_EQ(fileExtension(OutputFormat::jpeg), "jpg");
    EXPECT_EQ(fileExtension(OutputFormat::tiff), "tiff");
}

TEST(ScaleFactor, LabelsAndRawValues)
{
    EXPECT_EQ(label(ScaleFactor::x1), QStringLiteral("1× Convert"));
    EXPECT_EQ(label(ScaleFactor::x16), QStringLiteral("16×"));
    EXPECT_EQ(scaleFactorFromRaw(8), ScaleFactor::x8);
    EXPECT_FALSE(scaleFactorFromRaw(3));
    EXPECT_FALSE(scaleFactorFromRaw(0));
    EXPECT_EQ(rawValue(SRModel::illustration), "IllustrationX4");
    EXPECT_EQ(srModelFromRaw("PhotoX4"), SRModel::photo);
    EXPECT_FALSE(srModelFromRaw("photox4"));
}

TEST(EngineError, MessagesAreExact)
{
    EXPECT_EQ(ImageError::cannotRead("broken.png").message(), "Can't read broken.png");
    EXPECT_EQ(ImageError::cannotWrite(".tolvane-X.png").message(), "Can't write .tolvane-X.png");
    EXPECT_EQ(ImageError::webpTooLarge(20000, 10000).message(),
              QStringLiteral("WebP max is 16383 px per side (result is 20000×10000). Pick "
                             "PNG/HEIC/TIFF or a smaller scale."));
    EXPECT_EQ(ImageError::outOfMemory().message(), "Not enough memory for this size");
    EXPECT_EQ(UpscaleError::modelMissing("IllustrationX4").message(),
              "The IllustrationX4 enhancement model is missing. Reinstall Tolvane to restore it.");
    EXPECT_EQ(UpscaleError::tooLarge(40000, 30000).message(),
              QStringLiteral("Result would be 40000×30000 — too large. Pick a smaller scale."));
    EXPECT_EQ(UpscaleError::cancelled().message(), "Cancelled");
    EXPECT_EQ(UpscaleError::badOutput().message(), "Unexpected model output");
    EXPECT_EQ(MessageError("Plain text").message(), "Plain text");
    EXPECT_STREQ(UpscaleError::tooLarge(1, 2).what(),
                 "Result would be 1×2 — too large. Pick a smaller scale.");
    EXPECT_TRUE(isCancellation(UpscaleError::cancelled()));
    EXPECT_FALSE(isCancellation(UpscaleError::badOutput()));
}

TEST(Item, EqualityIgnoresThumbnailsAndSizes)
{
    Item a;
    a.id = QUuid::createUuid();
    a.path = "/p/a.png";
    Item b = a;
    b.thumbnail = QImage(4, 4, QImage::Format_RGBA8888);
    b.pixelSize = QSize(9, 9);
    EXPECT_EQ(a, b);
    a.status = Item::Status::working(0.25);
    b.status = Item::Status::working(0.5);
    EXPECT_NE(a, b);
    EXPECT_NE(Item::Status::working(std::nan("")), Item::Status::working(std::nan("")));
    EXPECT_EQ(Item::Status::failed("x"), Item::Status::failed("x"));
    EXPECT_NE(Item::Status::failed("x"), Item::Status::failed("y"));
    b.status = a.status;
    b.outputPath = "/p/a_2x.png";
    EXPECT_NE(a, b);
}
