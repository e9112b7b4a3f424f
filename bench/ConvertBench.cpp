#include "Bench.h"

#include "imageio/ImageLoader.h"
#include "imageio/ImageWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtConcurrent>

namespace {

constexpr int photoCount = 20;
constexpr int photoWidth = 4000;
constexpr int photoHeight = 3000;

// Smooth gradients with grain: compresses like a photograph, unlike flat test cards.
QImage syntheticPhoto(int seed)
{
    QImage image(photoWidth, photoHeight, QImage::Format_RGB32);
    QRandomGenerator random(quint32(seed) + 1);
    for (int y = 0; y < photoHeight; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < photoWidth; ++x) {
            const int grain = int(random.bounded(24)) - 12;
            line[x] = qRgb(std::clamp((x * 255 / photoWidth + seed * 11) % 256 + grain, 0, 255),
                           std::clamp((y * 255 / photoHeight) + grain, 0, 255),
                           std::clamp(((x + y) / 40 % 2 ? 180 : 90) + grain, 0, 255));
        }
    }
    return image;
}

QStringList makePhotos(const QString& folder)
{
    QStringList paths;
    for (int i = 0; i < photoCount; ++i)
        paths << QDir(folder).filePath(
            QStringLiteral("photo-%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    QtConcurrent::blockingMap(paths, [](const QString& path) {
        const int seed = QFileInfo(path).baseName().mid(6).toInt();
        syntheticPhoto(seed).save(path, "jpeg", 90);
    });
    return paths;
}

double megapixels()
{
    return photoCount * double(photoWidth) * photoHeight / 1e6;
}

double folderMiB(const QString& folder)
{
    qint64 bytes = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList(QDir::Files))
        bytes += file.size();
    return bytes / 1048576.0;
}

// Qt's own PNG writer, the engine's writer before it had its own: the size reference.
void benchQtPng(const QStringList& photos, const QString& out)
{
    QDir(out).mkpath(QStringLiteral("."));
    double seconds = 0;
    QElapsedTimer timer;
    for (const QString& photo : photos) {
        const QImage image = ImageLoader::load(photo);
        timer.start();
        image.save(QDir(out).filePath(QFileInfo(photo).baseName() + QStringLiteral(".png")), "png");
        seconds += timer.nsecsElapsed() / 1e9;
    }
    report(QStringLiteral("  qt       png  : encode %1 s, %2 MiB")
               .arg(seconds, 0, 'f', 2)
               .arg(folderMiB(out), 0, 'f', 1));
}

void benchTolvane(const QStringList& photos, const QString& out, OutputFormat format)
{
    double decode = 0;
    double encode = 0;
    QElapsedTimer timer;
    for (const QString& photo : photos) {
        timer.start();
        const QImage image = ImageLoader::load(photo);
        decode += timer.nsecsElapsed() / 1e9;
        timer.start();
        ImageWriter::write(
            image, QDir(out).filePath(QFileInfo(photo).baseName() + u'.' + fileExtension(format)),
            format, 0.92, false);
        encode += timer.nsecsElapsed() / 1e9;
    }
    report(QStringLiteral("  tolvane  %1: %2 MP/s (decode %3 s, encode %4 s), %5 MiB")
               .arg(rawValue(format), -5)
               .arg(megapixels() / (decode + encode), 0, 'f', 1)
               .arg(decode, 0, 'f', 2)
               .arg(encode, 0, 'f', 2)
               .arg(folderMiB(out), 0, 'f', 1));
}

// Runs `tool prefix... in out<suffix>` once per photo.
void benchTool(const QString& tool, const QStringList& prefix, const QString& suffix,
               const QStringList& photos, const QString& out, const QString& extension)
{
    // The distribution's own binaries, not wrappers earlier on the PATH.
    const QString executable = QStandardPaths::findExecutable(tool, {QStringLiteral("/usr/bin")});
    if (executable.isEmpty()) {
        report(QStringLiteral("  %1: not installed").arg(tool));
        return;
    }
    QElapsedTimer timer;
    timer.start();
    for (const QString& photo : photos) {
        QProcess process;
        const QString target = QDir(out).filePath(QFileInfo(photo).baseName() + u'.' + extension);
        process.start(executable, prefix + QStringList{photo, target + suffix});
        if (!process.waitForFinished(600000) || process.exitCode() != 0) {
            report(QStringLiteral("  %1 %2: failed").arg(tool, extension));
            return;
        }
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    report(QStringLiteral("  %1 %2: %3 MP/s (%4 s), %5 MiB")
               .arg(tool, -8)
               .arg(extension, -5)
               .arg(megapixels() / seconds, 0, 'f', 1)
               .arg(seconds, 0, 'f', 2)
               .arg(folderMiB(out), 0, 'f', 1));
}

void convertBatch()
{
    QTemporaryDir dir;
    const QStringList photos = makePhotos(dir.path());
    report(QStringLiteral("1x batch: %1 JPEG photos of %2x%3 (%4 MP in all), one at a time")
               .arg(photoCount)
               .arg(photoWidth)
               .arg(photoHeight)
               .arg(megapixels(), 0, 'f', 0));
    for (OutputFormat format : {OutputFormat::png, OutputFormat::jpeg, OutputFormat::webp,
                                OutputFormat::heic, OutputFormat::tiff}) {
        const QString ext = fileExtension(format);
        for (const QString& name : {QStringLiteral("t"), QStringLiteral("v"), QStringLiteral("m")})
            QDir(dir.path()).mkpath(name + ext);
        benchTolvane(photos, dir.filePath("t" + ext), format);
        if (format == OutputFormat::png)
            benchQtPng(photos, dir.filePath(QStringLiteral("qpng")));
        // The same lossy quality everywhere.
        const bool lossy = format != OutputFormat::png && format != OutputFormat::tiff;
        benchTool(QStringLiteral("vips"), {QStringLiteral("copy")},
                  lossy ? QStringLiteral("[Q=92]") : QString(), photos, dir.filePath("v" + ext),
                  ext);
        benchTool(QStringLiteral("convert"), {QStringLiteral("-quality"), QStringLiteral("92")}, {},
                  photos, dir.filePath("m" + ext), ext);
    }
}

const BenchRegistration registration("convert", convertBatch);

} // namespace
