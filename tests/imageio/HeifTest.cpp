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

namespace {

// Quadrants that tell every rotation and mirror apart: red, green / blue, white.
heif_image* quadrantImage(int width, int height)
{
    heif_image* image = flatHeifImage(width, height, 0, 0, 0);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const bool right = x >= width / 2;
            const bool bottom = y >= height / 2;
            uint8_t* p = plane + y * stride + 3 * x;
            p[0] = right == bottom ? 255 : 0;
            p[1] = right ? 255 : 0;
            p[2] = bottom ? 255 : 0;
        }
    return image;
}

// A picture stored as `stored` shows with `orientation`; its 200-pixel thumbnail, made from a
// picture of `thumbShape`, has none of its own, as a camera writes it.
void writeOriented(const QString& path, heif_orientation orientation, QSize stored,
                   QSize thumbShape)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_image* picture = quadrantImage(stored.width(), stored.height());
    heif_image* preview = quadrantImage(thumbShape.width(), thumbShape.height());
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = orientation;
    heif_image_handle* handle = nullptr;
    heif_context_encode_image(context, picture, encoder, options, &handle);
    heif_context_encode_thumbnail(context, preview, handle, encoder, nullptr, 200, nullptr);
    heif_context_write_to_file(context, QFile::encodeName(path).constData());
    heif_encoding_options_free(options);
    heif_image_handle_release(handle);
    heif_image_release(picture);
    heif_image_release(preview);
    heif_encoder_release(encoder);
    heif_context_free(context);
}

std::string quadrants(const QImage& image)
{
    QString names;
    for (QPoint at : {QPoint(1, 1), QPoint(3, 1), QPoint(1, 3), QPoint(3, 3)}) {
        const QColor c = image.pixelColor(image.width() * at.x() / 4, image.height() * at.y() / 4);
        names += QString(c.red() > 128 ? "R" : ".") + (c.green() > 128 ? "G" : ".") +
                 (c.blue() > 128 ? "B" : ".") + " ";
    }
    return names.toStdString();
}

void setMajorBrand(const QString& path, const char* brand)
{
    QByteArray bytes = TestSupport::readBytes(path);
    bytes.replace(8, 4, brand);
    TestSupport::writeBytes(path, bytes);
}

// A flat picture whose colour is declared by code points: primaries and the sRGB curve.
bool writeNclx(const QString& path, heif_compression_format codec, uint16_t primaries)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    if (heif_context_get_encoder_for_format(context, codec, &encoder).code != heif_error_Ok) {
        heif_context_free(context);
        return false;
    }
    heif_encoder_set_lossy_quality(encoder, 95);
    heif_image* picture = flatHeifImage(64, 48, 60, 160, 90);
    heif_color_profile_nclx* nclx = heif_nclx_color_profile_alloc();
    heif_nclx_color_profile_set_color_primaries(nclx, primaries);
    heif_nclx_color_profile_set_transfer_characteristics(nclx, 13);
    heif_nclx_color_profile_set_matrix_coefficients(nclx, 6);
    nclx->full_range_flag = 1;
    heif_image_set_nclx_color_profile(picture, nclx);
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->macOS_compatibility_workaround_no_nclx_profile = 0;
    const bool ok = heif_context_encode_image(context, picture, encoder, options, nullptr).code ==
                    heif_error_Ok;
    heif_context_write_to_file(context, QFile::encodeName(path).constData());
    heif_encoding_options_free(options);
    heif_nclx_color_profile_free(nclx);
    heif_image_release(picture);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

} // namespace

TEST(Heif, GenericAndSequenceBrandsAreReadByLibheif)
{
    QTemporaryDir dir;
    for (const char* brand : {"mif1", "msf1", "avis"}) {
        const QString path = dir.filePath(QStringLiteral("generic-%1.heif").arg(brand));
        writeWithThumbnail(path);
        setMajorBrand(path, brand);
        EXPECT_EQ(ImageLoader::pixelSize(path), QSize(640, 480)) << brand;
        EXPECT_EQ(ImageLoader::load(path).size(), QSize(640, 480)) << brand;
        EXPECT_EQ(ImageLoader::thumbnail(path, 160).size(), QSize(160, 120)) << brand;
        EXPECT_EQ(ImageLoader::decodeData(TestSupport::readBytes(path)).size(), QSize(640, 480))
            << brand;
    }
}

TEST(Heif, ColourDeclaredByCodePointsIsConvertedToSrgb)
{
    QTemporaryDir dir;
    const std::pair<heif_compression_format, const char*> codecs[] = {
        {heif_compression_HEVC, "heic"}, {heif_compression_AV1, "avif"}};
    for (const auto& [codec, extension] : codecs) {
        const QString p3 = dir.filePath(QStringLiteral("p3.") + extension);
        if (!writeNclx(p3, codec, heif_color_primaries_SMPTE_EG_432_1))
            continue; // no encoder for this codec here
        const QColor wide = ImageLoader::load(p3).pixelColor(30, 20);
        EXPECT_LE(wide.red(), 12) << extension;
        EXPECT_NEAR(wide.green(), 163, 6) << extension;
        EXPECT_NEAR(wide.blue(), 82, 6) << extension;

        const QString plain = dir.filePath(QStringLiteral("bt709.") + extension);
        ASSERT_TRUE(writeNclx(plain, codec, heif_color_primaries_ITU_R_BT_709_5));
        const QColor same = ImageLoader::load(plain).pixelColor(30, 20);
        EXPECT_NEAR(same.red(), 60, 6) << extension;
        EXPECT_NEAR(same.green(), 160, 6) << extension;
    }
}

TEST(Heif, StoredThumbnailsTurnWithThePicture)
{
    QTemporaryDir dir;
    for (int o = heif_orientation_normal; o <= heif_orientation_rotate_270_cw; ++o) {
        const QString path = dir.filePath(QStringLiteral("oriented-%1.heic").arg(o));
        writeOriented(path, heif_orientation(o), QSize(640, 480), QSize(640, 480));
        const QImage picture = ImageLoader::load(path);
        const QImage thumb = ImageLoader::thumbnail(path, 160);
        const QSize upright = o >= 5 ? QSize(480, 640) : QSize(640, 480);
        ASSERT_EQ(picture.size(), upright) << o;
        EXPECT_EQ(thumb.size(), upright.scaled(160, 160, Qt::KeepAspectRatio)) << o;
        EXPECT_EQ(quadrants(thumb), quadrants(picture)) << o;
    }
}

TEST(Heif, ThumbnailsOfAnotherShapeAreNotUsed)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cropped-preview.heic");
    // 4:3 picture, square stored preview: the picture itself is decoded and shrunk.
    writeOriented(path, heif_orientation_normal, QSize(640, 480), QSize(480, 480));
    const QImage thumb = ImageLoader::thumbnail(path, 160);
    EXPECT_EQ(thumb.size(), QSize(160, 120));
    EXPECT_EQ(quadrants(thumb), quadrants(ImageLoader::load(path)));
}
