// Service jobs of the studio: remembering, polling, resuming, and saving their images.
#include "CloudStudio.h"

#include "ServiceClient.h"
#include "StrictBase64.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "imageio/ImageLoader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QSettings>
#include <QTimer>
#include <QUrl>

namespace {

const QString cannotSave = QStringLiteral("The result could not be saved. Check whether the "
                                          "destination already exists or is still available.");

// Removes a file when the scope ends, whatever happened in it.
class RemoveOnExit {
public:
    explicit RemoveOnExit(QString path) : m_path(std::move(path)) {}
    ~RemoveOnExit() { QFile::remove(m_path); }
    RemoveOnExit(const RemoveOnExit&) = delete;
    RemoveOnExit& operator=(const RemoveOnExit&) = delete;

private:
    QString m_path;
};

QByteArray encodePng(const QImage& image)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (image.isNull() || !writer.write(image))
        return {};
    return png;
}

} // namespace

void CloudStudio::rememberJob(const QString& job, const QString& path)
{
    setResumeJob(job);
    m_resumeDestination = path;
    m_settings->setValue(QStringLiteral("cloudJob"), job);
    m_settings->setValue(QStringLiteral("cloudDestination"), QUrl::fromLocalFile(path).toString());
    m_settings->sync();
}

void CloudStudio::forgetJob()
{
    setResumeJob(QString());
    m_settings->remove(QStringLiteral("cloudJob"));
    m_settings->remove(QStringLiteral("cloudDestination"));
    m_settings->sync();
}

void CloudStudio::finishAfterLoad()
{
    load([this] { setBusy(false); });
}

void CloudStudio::resume()
{
    if (m_busy || m_resumeJob.isNull() || m_resumeDestination.isEmpty())
        return;
    setBusy(true);
    poll(m_resumeJob, m_resumeDestination, [this] { finishAfterLoad(); });
}

void CloudStudio::poll(const QString& job, const QString& path, std::function<void()> done)
{
    pollOnce(job, path, 0, std::move(done));
}

void CloudStudio::pollOnce(const QString& job, const QString& path, int attempt,
                           std::function<void()> done)
{
    setMessage(QStringLiteral("Generating\u2026 You can recover this request with Check Result "
                              "if the connection drops."));
    const auto answered = [this, job, path, attempt, done](const Result<QByteArray>& reply) {
        step([&] {
            if (!reply.isOk())
                throw MessageError(reply.error());
            const CloudResult result = CloudResult::decode(reply.value());
            const std::optional<QByteArray> image =
                result.imageBase64 ? strictBase64Decode(*result.imageBase64) : std::nullopt;
            if (result.status == u"completed" && image && !path.isEmpty()) {
                saveImage(*image, path);
                forgetJob();
                setMessage(QStringLiteral("Your image is saved."));
                done();
                return;
            }
            if (result.status == u"failed" || result.status == u"uncertain") {
                const QString error = result.error.value_or(QString());
                throw MessageError(error.trimmed().isEmpty()
                                       ? QStringLiteral("The provider could not complete this "
                                                        "image.")
                                       : error);
            }
            QTimer::singleShot(m_env.pollIntervalMs, this, [this, job, path, attempt, done] {
                if (attempt + 1 >= m_env.maxPolls) {
                    fail(QStringLiteral("This request is taking longer than expected. Use Check "
                                        "Result; it will not submit or charge another "
                                        "generation."));
                    return;
                }
                pollOnce(job, path, attempt + 1, done);
            });
        });
    };
    m_env.service->request(QStringLiteral("api/cloud/result"), {{QStringLiteral("job_id"), job}},
                           this, answered);
}

void CloudStudio::saveImage(const QByteArray& bytes, const QString& path)
{
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        throw MessageError(cannotSave);
    const QByteArray png = encodePng(ImageLoader::decodeData(bytes));
    if (png.isEmpty())
        throw MessageError(cannotSave);

    const QString hidden = QFileInfo(path).absolutePath() + QStringLiteral("/.tolvane-") +
                           FileNames::newUuidString() + QStringLiteral(".png");
    const RemoveOnExit cleanup(hidden);
    QSaveFile file(hidden);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit())
        throw ImageError::cannotWrite(FileNames::lastPathComponent(path));
    FileNames::moveNoReplace(hidden, path);
    setOutputURL(path);
}
