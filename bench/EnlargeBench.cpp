#include "Bench.h"

#include "core/CancelToken.h"
#include "pipeline/Pipeline.h"
#include "sr/ModelPrivate.h"
#include "sr/ModelStore.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

namespace {

// A 12-megapixel photo-like picture: smooth gradients with fine texture, as a camera's JPEG.
QString writePhoto(const QString& folder)
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            row[x] = qRgb((x / 16 + (x * y) % 23) % 256, (y / 12 + x % 17) % 256,
                          ((x + y) / 28 + (x ^ y) % 11) % 256);
    }
    const QString path = folder + QStringLiteral("/photo-12mp.jpg");
    image.save(path, "JPEG", 90);
    return path;
}

// The whole pipeline at 2x (one 4x pass over 234 tiles, then halving), as a user runs it.
void benchEnlarge()
{
    QTemporaryDir dir;
    const QString path = writePhoto(dir.path());
    JobSettings settings;
    settings.scale = ScaleFactor::x2;
    settings.model = SRModel::photo;
    const CancelToken token;
    QElapsedTimer timer;
    timer.start();
    const QString output = Pipeline::run(path, settings, token, [](double) {});
    const double seconds = double(timer.elapsed()) / 1e3;
    const std::string device = ModelStore::shared().model(SRModel::photo)->d().network->device();
    report(QStringLiteral("12 MP photo at 2x: %1 s (%2 tiles) on %3; peak resident %4 MiB")
               .arg(QString::number(seconds, 'f', 1))
               .arg(Pipeline::tileCount(4000, 3000))
               .arg(QString::fromStdString(device), QString::number(peakResidentMiB(), 'f', 0)));
}

const BenchRegistration registration("enlarge 12MP photo", benchEnlarge);

} // namespace
