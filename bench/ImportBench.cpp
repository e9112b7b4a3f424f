#include "Bench.h"

#include "store/AppState.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <libheif/heif.h>

namespace {

constexpr int fileCount = 20;
constexpr int width = 4000;
constexpr int height = 3000;

// A 12-megapixel photograph-like HEIC, optionally with the 320-pixel thumbnail cameras store.
bool writeHeic(const QString& path, bool withThumbnail)
{
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder);
    heif_encoder_set_lossy_quality(encoder, 80);
    heif_image* image = nullptr;
    heif_image_create(width, height, heif_colorspace_RGB, heif_chroma_interleaved_RGB, &image);
    heif_image_add_plane(image, heif_channel_interleaved, width, height, 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = plane + qint64(y) * stride + 3 * x;
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t(y * 255 / height);
            p[2] = uint8_t((x + y) / 40 % 2 ? 180 : 90);
        }
    heif_image_handle* handle = nullptr;
    bool ok =
        heif_context_encode_image(context, image, encoder, nullptr, &handle).code == heif_error_Ok;
    if (ok && withThumbnail)
        ok = heif_context_encode_thumbnail(context, image, handle, encoder, nullptr, 320, nullptr)
                 .code == heif_error_Ok;
    ok = ok && heif_context_write_to_file(context, QFile::encodeName(path).constData()).code ==
                   heif_error_Ok;
    heif_image_handle_release(handle);
    heif_image_release(image);
    heif_encoder_release(encoder);
    heif_context_free(context);
    return ok;
}

// One encoded file copied under many names: the import treats each as its own photo.
QStringList makeFolder(const QString& folder, bool withThumbnail)
{
    QDir().mkpath(folder);
    const QString first = QDir(folder).filePath(QStringLiteral("photo-00.heic"));
    if (!writeHeic(first, withThumbnail))
        return {};
    QStringList paths{first};
    for (int i = 1; i < fileCount; ++i) {
        paths << QDir(folder).filePath(QStringLiteral("photo-%1.heic").arg(i, 2, 10, QChar(u'0')));
        QFile::copy(first, paths.last());
    }
    return paths;
}

// Peak memory is measured per import: the kernel's high-water mark is reset first.
void importOnce(const QString& label, const QString& folder, const QString& settingsPath)
{
    AppState state(std::make_unique<QSettings>(settingsPath, QSettings::IniFormat));
    resetPeakResident();
    const double before = peakResidentMiB();
    QSignalSpy finished(&state, &AppState::importFinished);
    QElapsedTimer timer;
    timer.start();
    state.add({folder});
    finished.wait(600000);
    const double seconds = timer.nsecsElapsed() / 1e9;
    report(QStringLiteral("  %1: %2 items in %3 s, peak resident %4 MiB (%5 MiB above the start)")
               .arg(label, -24)
               .arg(state.items().size())
               .arg(seconds, 0, 'f', 2)
               .arg(peakResidentMiB(), 0, 'f', 0)
               .arg(peakResidentMiB() - before, 0, 'f', 0));
}

void importHeic()
{
    QTemporaryDir dir;
    report(
        QStringLiteral("import of %1 HEIC photos of %2x%3").arg(fileCount).arg(width).arg(height));
    const QString stored = dir.filePath(QStringLiteral("with-thumbnails"));
    const QString plain = dir.filePath(QStringLiteral("without-thumbnails"));
    if (makeFolder(stored, true).isEmpty() || makeFolder(plain, false).isEmpty()) {
        report(QStringLiteral("  no HEVC encoder"));
        return;
    }
    importOnce(QStringLiteral("with stored thumbnails"), stored, dir.filePath("a.ini"));
    importOnce(QStringLiteral("without thumbnails"), plain, dir.filePath("b.ini"));
}

const BenchRegistration registration("import", importHeic);

} // namespace
