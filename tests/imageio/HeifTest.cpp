#include "core/EngineError.h"
#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <libheif/heif.h>

namespace {

heif_image* flatHeifImage(int width, int height, uint8_t r, uint8_t g, uint8_t b)
{
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = plane + y * stride + 3 * x;
            p[0] = r;
            p[1] = g;
            p[2] = b;
        }
    return image;
}

// A red 640x480 picture whose stored 200-pixel thumbnail is green, as a camera's would be
// (there the thumbnail shows the same picture; a different colour tells which was decoded).
void writeWithThumbnail(const QString& path)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_image* picture = flatHeifImage(640, 480, 220, 20, 20);
    heif_image* preview = flatHeifImage(640, 480, 20, 220, 20);
    heif_image_handle* handle = nullptr;
    heif_context_encode_image(context, picture, encoder, nullptr, &handle);
    heif_context_encode_thumbnail(context, preview, handle, encoder, nullptr, 200, nullptr);
    heif_context_write_to_file(context, QFile::encodeName(path).constData());
    heif_image_handle_release(handle);
    heif_image_release(picture);
    heif_image_release(preview);
    heif_encoder_release(encoder);
    heif_context_free(context);
}

} // namespace

TEST(Heif, ThumbnailsUseTheStoredPreviewWhenItIsLargeEnough)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("camera.heic");
    writeWithThumbnail(path);

    const QImage small = ImageLoader::thumbnail(path, 160);
    ASSERT_EQ(small.size(), QSize(160, 120));
    EXPECT_GT(small.pixelColor(80, 60).green(), 180) << "the stored preview is used";

    const QImage large = ImageLoader::thumbnail(path, 400);
    ASSERT_EQ(large.size(), QSize(400, 300));
    EXPECT_GT(large.pixelColor(200, 150).red(), 180) << "a preview too small is not enlarged";

    EXPECT_EQ(ImageLoader::load(path).pixelColor(10, 10).red() > 180, true);
}

TEST(Heif, ThinPicturesAreRefusedClearlyOrWritten)
{
    QTemporaryDir dir;
    for (QSize size : {QSize(16384, 1), QSize(1, 16384), QSize(8192, 16)}) {
        QImage thin(size, QImage::Format_RGBX8888);
        thin.fill(Qt::gray);
        EXPECT_FALSE(ImageWriter::heicCanHold(size.width(), size.height()));
        try {
            ImageWriter::write(thin, dir.filePath("thin.heic"), OutputFormat::heic, 0.9, false);
            ADD_FAILURE() << size.width() << "x" << size.height();
        } catch (const ImageError& error) {
            EXPECT_EQ(error.kind(), ImageError::Kind::heicShape);
            EXPECT_EQ(error.message(),
                      QStringLiteral("HEIC can't hold a picture this narrow (result is %1×%2). "
                                     "Pick PNG/WebP/TIFF or another scale.")
                          .arg(size.width())
                          .arg(size.height()));
        }
        EXPECT_EQ(TestSupport::entries(dir.path()), QStringList());
    }
    // Thin but accepted shapes are really written.
    for (QSize size : {QSize(4096, 1), QSize(16384, 64), QSize(32, 16384)}) {
        EXPECT_TRUE(ImageWriter::heicCanHold(size.width(), size.height()));
        QImage thin(size, QImage::Format_RGBX8888);
        thin.fill(Qt::gray);
        const QString path = dir.filePath("ok.heic");
        ImageWriter::write(thin, path, OutputFormat::heic, 0.9, false);
        EXPECT_EQ(ImageLoader::pixelSize(path), size);
        QFile::remove(path);
    }
}
