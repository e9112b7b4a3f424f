#include "HeifCodec.h"

#include "HeifTransforms.h"
#include "PixelBuffer.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "core/RegularFile.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <libheif/heif.h>
#include <memory>
#include <mutex>
#include <vector>

Q_LOGGING_CATEGORY(lcHeif, "tolvane.heif")

namespace {

void initHeif()
{
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

using Context = std::unique_ptr<heif_context, decltype(&heif_context_free)>;
using Handle = std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)>;
using Image = std::unique_ptr<heif_image, decltype(&heif_image_release)>;
using Encoder = std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)>;

// The one boundary where libheif's errors become ours.
bool heifOk(const heif_error& error, const QString& path = {})
{
    if (error.code == heif_error_Ok)
        return true;
    qCWarning(lcHeif) << FileNames::lastPathComponent(path) << error.message;
    return false;
}

// The primary image of a context that `read` filled (from a file or from memory).
template <typename Read> Handle openPrimaryWith(Context& context, const QString& path, Read read)
{
    initHeif();
    context.reset(heif_context_alloc());
    if (!context)
        return Handle(nullptr, heif_image_handle_release);
    if (!heifOk(read(context.get()), path))
        return Handle(nullptr, heif_image_handle_release);
    heif_image_handle* handle = nullptr;
    if (!heifOk(heif_context_get_primary_image_handle(context.get(), &handle), path))
        return Handle(nullptr, heif_image_handle_release);
    return Handle(handle, heif_image_handle_release);
}

// libheif reads lazily, so the device lives as long as the context; members end in reverse.
struct Opened {
    std::unique_ptr<QIODevice> device;
    Context context{nullptr, heif_context_free};
    Handle primary{nullptr, heif_image_handle_release};
};

QIODevice& deviceOf(void* userdata)
{
    return *static_cast<QIODevice*>(userdata);
}

int64_t positionOf(void* userdata)
{
    return deviceOf(userdata).pos();
}

int readFrom(void* data, size_t size, void* userdata)
{
    const qint64 wanted = qint64(size);
    return deviceOf(userdata).read(static_cast<char*>(data), wanted) == wanted ? 0 : -1;
}

int seekTo(int64_t position, void* userdata)
{
    return deviceOf(userdata).seek(position) ? 0 : -1;
}

heif_reader_grow_status reaches(int64_t target, void* userdata)
{
    return target <= deviceOf(userdata).size() ? heif_reader_grow_status_size_reached
                                               : heif_reader_grow_status_size_beyond_eof;
}

const heif_reader deviceReader = {1, positionOf, readFrom, seekTo, reaches};

Opened openPrimary(const RegularFile& file)
{
    Opened opened;
    opened.device = file.device();
    if (!opened.device->isOpen())
        return opened;
    opened.primary = openPrimaryWith(opened.context, file.path(), [&](heif_context* context) {
        return heif_context_read_from_reader(context, &deviceReader, opened.device.get(), nullptr);
    });
    return opened;
}

bool hasProfile(const heif_image_handle* handle)
{
    const auto type = heif_image_handle_get_color_profile_type(handle);
    return type == heif_color_profile_type_prof || type == heif_color_profile_type_rICC;
}

bool hasColourTag(const heif_image_handle* handle)
{
    return heif_image_handle_get_color_profile_type(handle) != heif_color_profile_type_not_present;
}

QColorSpace::TransferFunction transferOf(heif_transfer_characteristics transfer, float& gamma)
{
    switch (transfer) {
    case heif_transfer_characteristic_linear:
        return QColorSpace::TransferFunction::Linear;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_M:
        gamma = 2.2f;
        return QColorSpace::TransferFunction::Gamma;
    case heif_transfer_characteristic_ITU_R_BT_470_6_System_B_G:
        gamma = 2.8f;
        return QColorSpace::TransferFunction::Gamma;
    default:
        // sRGB, the BT.709 family and curves Qt cannot express are shown with the sRGB curve.
        return QColorSpace::TransferFunction::SRgb;
    }
}

// Colour declared by code points (primaries and transfer) instead of an ICC profile.
QColorSpace colorSpaceOfNclx(const heif_image_handle* handle)
{
    heif_color_profile_nclx* raw = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &raw).code != heif_error_Ok || !raw)
        return sRGB();
    const std::unique_ptr<heif_color_profile_nclx, decltype(&heif_nclx_color_profile_free)> nclx(
        raw, heif_nclx_color_profile_free);
    float gamma = 0;
    const QColorSpace::TransferFunction transfer =
        transferOf(nclx->transfer_characteristics, gamma);
    const bool srgbPrimaries = nclx->color_primaries == heif_color_primaries_ITU_R_BT_709_5 ||
                               nclx->color_primaries == heif_color_primaries_unspecified ||
                               nclx->color_primary_red_x <= 0 || nclx->color_primary_white_x <= 0;
    if (srgbPrimaries && transfer == QColorSpace::TransferFunction::SRgb)
        return sRGB();
    if (srgbPrimaries)
        return QColorSpace(QColorSpace::Primaries::SRgb, transfer, gamma);
    const QColorSpace space(QPointF(nclx->color_primary_white_x, nclx->color_primary_white_y),
                            QPointF(nclx->color_primary_red_x, nclx->color_primary_red_y),
                            QPointF(nclx->color_primary_green_x, nclx->color_primary_green_y),
                            QPointF(nclx->color_primary_blue_x, nclx->color_primary_blue_y),
                            transfer, gamma);
    return space.isValid() ? space : sRGB();
}

QColorSpace colorSpaceOf(const heif_image_handle* handle)
{
    if (heif_image_handle_get_color_profile_type(handle) == heif_color_profile_type_nclx)
        return colorSpaceOfNclx(handle);
    if (!hasProfile(handle))
        return sRGB();
    QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)),
                   Qt::Uninitialized);
    if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return sRGB();
    const QColorSpace space = QColorSpace::fromIccProfile(icc);
    return space.isValid() ? space : sRGB();
}

// The primary image, 8 bits per channel; null when unreadable or over `maxBytes` decoded.
QImage decodePrimary(Handle handle, const QString& path, qint64 maxBytes)
{
    if (!handle)
        return {};
    const qint64 width = heif_image_handle_get_width(handle.get());
    const qint64 height = heif_image_handle_get_height(handle.get());
    if (width <= 0 || height <= 0 || width * height * 4 > maxBytes)
        return {};
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    heif_image* raw = nullptr;
    // Interleaved 8-bit chroma makes libheif convert 10- and 12-bit sources down to 8 bits.
    const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (!heifOk(heif_decode_image(handle.get(), &raw, heif_colorspace_RGB, chroma, nullptr), path))
        return {};
    Image decoded(raw, heif_image_release);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    if (!plane || heif_image_get_width(decoded.get(), heif_channel_interleaved) != width ||
        heif_image_get_height(decoded.get(), heif_channel_interleaved) != height)
        return {};
    QImage image(int(width), int(height), alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (image.isNull())
        return {};
    const size_t rowBytes = size_t(width) * (alpha ? 4 : 3);
    for (int y = 0; y < height; ++y)
        std::memcpy(image.scanLine(y), plane + qint64(y) * stride, rowBytes);
    image.setColorSpace(colorSpaceOf(handle.get()));
    return image;
}

} // namespace

namespace HeifCodec {

bool sniff(const RegularFile& file)
{
    const std::unique_ptr<QIODevice> device = file.device();
    return device->isOpen() && sniffData(device->read(64));
}

std::optional<QSize> pixelSize(const RegularFile& file)
{
    const Opened opened = openPrimary(file);
    if (!opened.primary)
        return std::nullopt;
    const int width = heif_image_handle_get_width(opened.primary.get());
    const int height = heif_image_handle_get_height(opened.primary.get());
    if (width <= 0 || height <= 0)
        return std::nullopt;
    return QSize(width, height);
}

QImage decode(const RegularFile& file, qint64 maxBytes)
{
    Opened opened = openPrimary(file);
    return decodePrimary(std::move(opened.primary), file.path(), maxBytes);
}

bool sniffData(const QByteArray& bytes)
{
    // Generic HEIF ("mif1") and image sequences ("avis", "msf1") are not "supported" by the
    // type check, yet libheif reads their primary image; only what it rules out goes elsewhere.
    return bytes.size() >= 12 &&
           heif_check_filetype(reinterpret_cast<const uint8_t*>(bytes.constData()),
                               int(std::min<qsizetype>(bytes.size(), 64))) != heif_filetype_no;
}

QImage decodeData(const QByteArray& bytes, qint64 maxBytes)
{
    // The context reads `bytes` in place; both live until the image is copied out.
    Context context(nullptr, heif_context_free);
    Handle handle = openPrimaryWith(context, {}, [&](heif_context* opened) {
        return heif_context_read_from_memory_without_copy(opened, bytes.constData(),
                                                          size_t(bytes.size()), nullptr);
    });
    return decodePrimary(std::move(handle), {}, maxBytes);
}

QImage embeddedThumbnail(const RegularFile& file, int minLongerSide, qint64 maxBytes)
{
    const Opened opened = openPrimary(file);
    const Handle& primary = opened.primary;
    heif_item_id primaryId = 0;
    if (!primary ||
        heif_context_get_primary_image_ID(opened.context.get(), &primaryId).code != heif_error_Ok)
        return {};
    const int count = heif_image_handle_get_number_of_thumbnails(primary.get());
    if (count <= 0)
        return {};
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary.get(), ids.data(), count);
    const double pictureAspect = double(heif_image_handle_get_width(primary.get())) /
                                 std::max(1, heif_image_handle_get_height(primary.get()));
    const std::map<std::uint32_t, HeifTransforms::Steps> steps =
        HeifTransforms::read(*file.device());
    const auto stepsOf = [&steps](heif_item_id id) {
        const auto found = steps.find(id);
        return found == steps.end() ? HeifTransforms::Steps() : found->second;
    };
    // A thumbnail without rotations of its own is stored the way the picture is stored, so the
    // picture's own apply to it as well.
    const HeifTransforms::Steps pictureSteps = stepsOf(primaryId);

    // The smallest thumbnail that is still large enough and shows the picture's shape.
    Handle best(nullptr, heif_image_handle_release);
    HeifTransforms::Steps bestSteps;
    int bestSide = 0;
    for (heif_item_id id : ids) {
        heif_image_handle* raw = nullptr;
        if (heif_image_handle_get_thumbnail(primary.get(), id, &raw).code != heif_error_Ok)
            continue;
        Handle candidate(raw, heif_image_handle_release);
        const HeifTransforms::Steps extra =
            stepsOf(id).empty() ? pictureSteps : HeifTransforms::Steps();
        int width = heif_image_handle_get_width(raw);
        int height = heif_image_handle_get_height(raw);
        if (HeifTransforms::swapsSides(extra))
            std::swap(width, height);
        const int side = std::max(width, height);
        const double aspect = double(width) / std::max(1, height);
        if (std::abs(aspect - pictureAspect) > 0.02 * pictureAspect)
            continue;
        if (side >= minLongerSide && (!best || side < bestSide)) {
            best = std::move(candidate);
            bestSteps = extra;
            bestSide = side;
        }
    }
    if (!best)
        return {};
    // Thumbnails rarely carry a colour tag of their own; the picture's is the one that applies.
    const bool ownTag = hasColourTag(best.get());
    QImage image = decodePrimary(std::move(best), file.path(), maxBytes);
    if (!image.isNull() && !ownTag)
        image.setColorSpace(colorSpaceOf(primary.get()));
    return HeifTransforms::apply(std::move(image), bestSteps);
}

bool canEncode(qint64 width, qint64 height)
{
    // Every shape at least this thick was measured to encode; thinner ones depend on the length.
    constexpr qint64 safeSide = 64;
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535)
        return false;
    if (std::min(width, height) >= safeSide)
        return true;
    QImage flat(int(width), int(height), QImage::Format_RGB888);
    if (flat.isNull())
        return false;
    flat.fill(Qt::gray);
    try {
        return !encode(flat, 10).isEmpty();
    } catch (const ImageError&) {
        return false;
    }
}

QByteArray encode(const QImage& image, int quality)
{
    initHeif();
    const bool alpha = image.hasAlphaChannel();
    const QImage source =
        image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (source.isNull())
        throw ImageError::outOfMemory();

    Context context(heif_context_alloc(), heif_context_free);
    heif_encoder* rawEncoder = nullptr;
    if (!context || !heifOk(heif_context_get_encoder_for_format(
                        context.get(), heif_compression_HEVC, &rawEncoder)))
        return {};
    Encoder encoder(rawEncoder, heif_encoder_release);
    heif_encoder_set_lossy_quality(encoder.get(), quality);

    heif_image* rawImage = nullptr;
    const heif_chroma chroma = alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (!heifOk(heif_image_create(source.width(), source.height(), heif_colorspace_RGB, chroma,
                                  &rawImage)))
        return {};
    Image heifImage(rawImage, heif_image_release);
    if (!heifOk(heif_image_add_plane(heifImage.get(), heif_channel_interleaved, source.width(),
                                     source.height(), 8)))
        throw ImageError::outOfMemory();
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(heifImage.get(), heif_channel_interleaved, &stride);
    const size_t rowBytes = size_t(source.width()) * (alpha ? 4 : 3);
    for (int y = 0; y < source.height(); ++y)
        std::memcpy(plane + qint64(y) * stride, source.constScanLine(y), rowBytes);

    if (!heifOk(heif_context_encode_image(context.get(), heifImage.get(), encoder.get(), nullptr,
                                          nullptr)))
        return {};
    QByteArray bytes;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = [](heif_context*, const void* data, size_t size, void* userdata) {
        static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
        return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
    };
    if (!heifOk(heif_context_write(context.get(), &writer, &bytes)))
        return {};
    return bytes;
}

} // namespace HeifCodec
