// Service jobs of the studio: remembering, polling, resuming, and saving their images.
#include "CloudStudio.h"

#include "GeneratedImage.h"
#include "ServiceClient.h"
#include "StrictBase64.h"
#include "core/Async.h"
#include "core/EngineError.h"
#include "core/WorkPools.h"

#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QtConcurrent>

namespace {

// One answer about a job, read off the GUI thread: its record, or why it is none, and for a
// completed job with a usable image that image as PNG (or why it cannot be one).
struct JobReply {
    QString decodeError;
    CloudResult result;
    std::optional<Result<QByteArray>> png;
};

JobReply readJobReply(const QByteArray& body)
{
    JobReply reply;
    try {
        reply.result = CloudResult::decode(body);
    } catch (const EngineError& error) {
        reply.decodeError = error.message();
        return reply;
    } catch (...) {
        reply.decodeError = GeneratedImage::cannotSave;
        return reply;
    }
    if (reply.result.status == u"completed" && reply.result.imageBase64) {
        if (const auto image = strictBase64Decode(*reply.result.imageBase64))
            reply.png = GeneratedImage::toPng(*image);
    }
    reply.result.imageBase64.reset(); // the PNG is all that is needed from here on
    return reply;
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
    const auto decided = [this, job, path, attempt, done](const JobReply& reply) {
        step([&] {
            if (!reply.decodeError.isNull())
                throw MessageError(reply.decodeError);
            const CloudResult& result = reply.result;
            if (result.status == u"completed" && reply.png && !path.isEmpty()) {
                saveImage(*reply.png, path, [this, done] {
                    forgetJob();
                    setMessage(QStringLiteral("Your image is saved."));
                    done();
                });
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
    // A reply may hold a whole image: it is parsed, decoded and re-encoded off the GUI thread.
    const auto answered = [this, decided](const Result<QByteArray>& reply) {
        if (!reply.isOk()) {
            fail(reply.error());
            return;
        }
        whenFinished(QtConcurrent::run(&WorkPools::views(), readJobReply, reply.value()), this,
                     decided);
    };
    m_env.service->request(QStringLiteral("api/cloud/result"), {{QStringLiteral("job_id"), job}},
                           this, answered);
}

void CloudStudio::saveImage(const Result<QByteArray>& png, const QString& path,
                            std::function<void()> saved)
{
    // Up to hundreds of MB: written off the GUI thread, like the decoding before it.
    whenFinished(GeneratedImage::saveAsNewFileLater(png, path), this,
                 [this, path, saved = std::move(saved)](const QString& error) {
                     if (!error.isNull()) {
                         fail(error);
                         return;
                     }
                     setOutputURL(path);
                     saved();
                 });
}
