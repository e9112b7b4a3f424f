#include "WebpCodec.h"

#include "PixelBuffer.h"

#include <cstring>
#include <memory>
#include <webp/decode.h>
#include <webp/encode.h>

namespace {
struct WebPDeleter {
    void operator()(uint8_t* p) const { WebPFree(p); }
};
using WebPBytes = std::unique_ptr<uint8_t, WebPDeleter>;
} // namespace

namespace WebpCodec {

bool sniff(QIODevice& file)
{
    if (!file.isOpen() || !file.seek(0))
        return false;
    const QByteArray head = file.read(12);
    return head.size() == 12 && head.startsWith("RIFF") && head.endsWith("WEBP");
}

QImage decodeData(const QByteArray& bytes, qint64 maxBytes)
{
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    int width = 0;
    int height = 0;
    // Check the declared size first so a tiny file cannot make us allocate gigabytes.
    if (!WebPGetInfo(data, size_t(bytes.size()), &width, &height) || width <= 0 || height <= 0 ||
        qint64(width) * height * 4 > maxBytes)
        return {};
    WebPBytes decoded(WebPDecodeRGBA(data, size_t(bytes.size()), &width, &height));
    if (!decoded || width <= 0 || height <= 0)
        return {};
    try {
        PixelBuffer buffer(width, height);
        std::memcpy(buffer.data(), decoded.get(), size_t(4 * buffer.width() * buffer.height()));
        return buffer.makeImage(true);
    } catch (...) {
        return {};
    }
}

QByteArray encode(const PixelBuffer& buffer, bool lossless, float quality)
{
    // The settings of WebPEncodeRGBA and WebPEncodeLosslessRGBA, plus libwebp's second thread.
    WebPConfig config;
    WebPPicture picture;
    if (!WebPConfigPreset(&config, WEBP_PRESET_DEFAULT, lossless ? 70.0f : quality) ||
        !WebPPictureInit(&picture))
        return {};
    config.lossless = lossless ? 1 : 0;
    config.thread_level = 1;
    picture.use_argb = lossless ? 1 : 0;
    picture.width = int(buffer.width());
    picture.height = int(buffer.height());
    WebPMemoryWriter writer;
    WebPMemoryWriterInit(&writer);
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &writer;
    const bool ok = WebPPictureImportRGBA(&picture, buffer.data(), int(buffer.bytesPerRow())) &&
                    WebPEncode(&config, &picture);
    WebPPictureFree(&picture);
    WebPBytes owned(writer.mem);
    if (!ok || writer.size < 1 || !owned)
        return {};
    return QByteArray(reinterpret_cast<const char*>(owned.get()), qsizetype(writer.size));
}

} // namespace WebpCodec
