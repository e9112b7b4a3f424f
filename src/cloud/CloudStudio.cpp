#include "CloudStudio.h"

#include "CloudEndpoints.h"
#include "GeneratedImage.h"
#include "HttpExchange.h"
#include "JsonReader.h"
#include "KeychainStore.h"
#include "ProviderKeyStore.h"
#include "ServiceClient.h"
#include "XaiImages.h"
#include "core/Async.h"
#include "core/EngineError.h"
#include "core/FileNames.h"
#include "core/WorkPools.h"
#include "imageio/ImageLoader.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QtConcurrent>

namespace {

constexpr qsizetype maxPromptBytes = 4096;
constexpr qint64 maxReferenceBytes = 2'000'000;
constexpr int referenceMaxPixel = 1024;

const QString preparationFailed =
    QStringLiteral("This image could not be prepared for upload. Try a smaller image.");

// The file's absolute path with "." and ".." resolved, links left as they are.
QString standardised(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Anything at the path, a dangling link included.
bool occupied(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// The reference as PNG bytes of at most 1024 pixels a side; runs on a worker thread.
Result<QByteArray> referencePng(const QString& path)
{
    try {
        const QImage thumbnail = ImageLoader::thumbnail(path, referenceMaxPixel);
        if (thumbnail.isNull())
            return Result<QByteArray>::failure(preparationFailed);
        const QByteArray png = GeneratedImage::encodePng(thumbnail);
        if (png.isEmpty() || png.size() > maxReferenceBytes)
            return Result<QByteArray>::failure(preparationFailed);
        return Result<QByteArray>::success(png);
    } catch (...) {
        return Result<QByteArray>::failure(preparationFailed);
    }
}

std::optional<QString> readDestination(const QSettings& settings)
{
    const QString text = settings.value(QStringLiteral("cloudDestination")).toString();
    const QUrl url(text);
    if (url.isLocalFile())
        return url.toLocalFile();
    if (text.startsWith(u'/'))
        return text;
    return std::nullopt;
}

} // namespace

CloudStudio::Environment CloudStudio::Environment::production()
{
    Environment environment;
    environment.service = &ServiceClient::shared();
    environment.network = environment.service->manager();
    environment.xaiBase = CloudEndpoints::xaiApi();
    environment.nowSecs = [] { return QDateTime::currentSecsSinceEpoch(); };
    return environment;
}

CloudStudio::CloudStudio(Environment environment, QObject* parent)
    : QObject(parent), m_env(std::move(environment))
{
    m_settings = m_env.settings ? m_env.settings : new QSettings(this);
    const QVariant job = m_settings->value(QStringLiteral("cloudJob"));
    if (job.isValid())
        m_resumeJob = job.toString();
    const std::optional<QString> destination = readDestination(*m_settings);
    m_destination = destination.value_or(QString());
    m_resumeDestination = m_destination;
    readOwnKey();
}

void CloudStudio::readOwnKey()
{
    const int read = ++m_keyReads;
    setReadingKey(true);
    ProviderKeyStore::readLater(
        this,
        [this, read](const SecretReply& stored) {
            if (read != m_keyReads)
                return;
            // A keyring that cannot say is no statement that there is no key: its sentence shows.
            const bool known = stored.status != SecretReply::Status::failed;
            const QString silent = KeychainStore::readFailure(KeychainStore::noAnswer);
            setKeyUnread(!known);
            applyHasOwnKey(ProviderKeyStore::usableKey(stored).has_value());
            if (!known && !m_busy)
                setMessage(KeychainStore::readFailure(stored.message));
            else if (known && !m_busy && m_message == silent)
                setMessage(QString());
            setReadingKey(false);
        },
        // The read ended after all: ask again for what is stored now.
        [this, read] {
            if (read == m_keyReads)
                readOwnKey();
        });
}

void CloudStudio::load(std::function<void()> done)
{
    m_env.service->fetchCatalog(this, [this, done = std::move(done)](const HttpOutcome& outcome) {
        if (!outcome.answered()) {
            setMessage(outcome.transportError);
        } else if (outcome.status == 200) {
            try {
                setModels(Catalog::decode(outcome.body).models);
            } catch (const DecodeError& error) {
                setMessage(error.message());
            }
        }
        if (done)
            done();
    });
}

void CloudStudio::generate(const QString& prompt, const CloudModel& model,
                           const std::optional<QString>& reference, bool ownKey,
                           const QStringList& originals)
{
    if (m_busy)
        return;
    if (prompt.trimmed().isEmpty() || prompt.toUtf8().size() > maxPromptBytes) {
        setMessage(QStringLiteral("Enter a prompt of up to 4,096 UTF-8 bytes."));
        return;
    }
    const qint64 now = m_env.nowSecs ? m_env.nowSecs() : QDateTime::currentSecsSinceEpoch();
    const std::optional<QString> chosen =
        m_env.chooseNewPngFile
            ? m_env.chooseNewPngFile(
                  QStringLiteral("Tolvane-AI-%1.png").arg(now),
                  QStringLiteral("Choose where to save a new image before generation begins."))
            : std::nullopt;
    if (!chosen || chosen->isEmpty())
        return;
    const QString path = standardised(*chosen);
    const bool isOriginal = std::any_of(originals.cbegin(), originals.cend(),
                                        [&](const QString& o) { return standardised(o) == path; });
    if (isOriginal || occupied(path)) {
        setMessage(QStringLiteral("Choose a new filename so existing images stay intact."));
        return;
    }

    m_destination = path;
    setOutputURL(QString());
    setBusy(true);
    setMessage(QStringLiteral("Preparing your image\u2026"));
    auto next = [this, model, prompt, ownKey, path](const std::optional<QString>& image) {
        step([&] {
            if (ownKey)
                generateWithOwnKey(model, prompt, image, path);
            else
                submitJob(model, prompt, image, path);
        });
    };
    if (!reference) {
        next(std::nullopt);
        return;
    }
    prepareReference(*reference, next);
}

void CloudStudio::prepareReference(const QString& path, std::function<void(const QString&)> next)
{
    whenFinished(QtConcurrent::run(&WorkPools::views(), referencePng, path), this,
                 [this, next = std::move(next)](const Result<QByteArray>& png) {
                     if (!png.isOk()) {
                         fail(png.error());
                         return;
                     }
                     next(QStringLiteral("data:image/png;base64,") +
                          QString::fromLatin1(png.value().toBase64()));
                 });
}

void CloudStudio::generateWithOwnKey(const CloudModel& model, const QString& prompt,
                                     const std::optional<QString>& image, const QString& path)
{
    ProviderKeyStore::readLater(
        this, [this, model, prompt, image, path](const SecretReply& stored) {
            step([&] { sendWithOwnKey(stored, model, prompt, image, path); });
        });
}

void CloudStudio::sendWithOwnKey(const SecretReply& stored, const CloudModel& model,
                                 const QString& prompt, const std::optional<QString>& image,
                                 const QString& path)
{
    // A keyring that never answered has not said that no key is stored.
    if (KeychainStore::isUnanswered(stored))
        throw MessageError(KeychainStore::readFailure(stored.message));
    const std::optional<QString> key = ProviderKeyStore::usableKey(stored);
    if (!key)
        throw MessageError(QStringLiteral("Save your xAI API key first."));
    setMessage(QStringLiteral("Generating with your xAI account\u2026"));
    xai::requestImage(*m_env.network, m_env.xaiBase, *key, model, prompt, image, this,
                      [this, path](const Result<QByteArray>& bytes) {
                          if (!bytes.isOk()) {
                              fail(bytes.error());
                              return;
                          }
                          whenFinished(GeneratedImage::toPngLater(bytes.value()), this,
                                       [this, path](const Result<QByteArray>& png) {
                                           saveImage(png, path, [this] { ownKeyImageSaved(); });
                                       });
                      });
}

void CloudStudio::ownKeyImageSaved()
{
    setMessage(QStringLiteral("Saved. This request was billed directly to your xAI account."));
    setBusy(false);
}

void CloudStudio::submitJob(const CloudModel& model, const QString& prompt,
                            const std::optional<QString>& image, const QString& path)
{
    const QString job = FileNames::newUuidString().toLower();
    rememberJob(job, path);
    ServiceClient::Fields fields{{QStringLiteral("job_id"), job},
                                 {QStringLiteral("model"), model.id},
                                 {QStringLiteral("prompt"), prompt}};
    if (image)
        fields.insert(QStringLiteral("image"), *image);
    setMessage(QStringLiteral("Sending to ") + model.provider + u'\u2026');
    m_env.service->request(
        QStringLiteral("api/cloud/generate"), fields, this,
        [this, job, path](const Result<QByteArray>& reply) {
            step([&] {
                if (!reply.isOk())
                    throw MessageError(reply.error());
                const CloudResult result = CloudResult::decode(reply.value());
                if (result.status == u"failed" || result.status == u"uncertain") {
                    const QString error = result.error.value_or(QString());
                    throw MessageError(error.trimmed().isEmpty()
                                           ? QStringLiteral("The provider could not confirm "
                                                            "this request.")
                                           : error);
                }
                poll(job, path, [this] { finishAfterLoad(); });
            });
        });
}

void CloudStudio::fail(const QString& message)
{
    setMessage(message);
    setBusy(false);
}

void CloudStudio::step(const std::function<void()>& body)
{
    try {
        body();
    } catch (const EngineError& error) {
        fail(error.message());
    } catch (const std::exception& error) {
        fail(QString::fromUtf8(error.what()));
    } catch (...) {
        fail(QStringLiteral("The request could not be completed."));
    }
}

void CloudStudio::setHasOwnKey(bool hasOwnKey)
{
    ++m_keyReads;
    setReadingKey(false);
    setKeyUnread(false);
    applyHasOwnKey(hasOwnKey);
}

void CloudStudio::applyHasOwnKey(bool hasOwnKey)
{
    if (m_hasOwnKey == hasOwnKey)
        return;
    m_hasOwnKey = hasOwnKey;
    Q_EMIT hasOwnKeyChanged(hasOwnKey);
}

void CloudStudio::setKeyUnread(bool unread)
{
    if (m_keyUnread == unread)
        return;
    m_keyUnread = unread;
    Q_EMIT isKeyUnreadChanged(unread);
}

void CloudStudio::setReadingKey(bool reading)
{
    if (m_readingKey == reading)
        return;
    m_readingKey = reading;
    Q_EMIT isReadingKeyChanged(reading);
}

void CloudStudio::setModels(const QList<CloudModel>& models)
{
    if (m_models == models)
        return;
    m_models = models;
    Q_EMIT modelsChanged();
}

void CloudStudio::setBusy(bool busy)
{
    if (m_busy == busy)
        return;
    m_busy = busy;
    Q_EMIT isBusyChanged(busy);
}

void CloudStudio::setMessage(const QString& message)
{
    if (m_message == message && m_message.isNull() == message.isNull())
        return;
    m_message = message;
    Q_EMIT messageChanged(message);
}

void CloudStudio::setOutputURL(const QString& path)
{
    if (m_outputURL == path && m_outputURL.isNull() == path.isNull())
        return;
    m_outputURL = path;
    Q_EMIT outputURLChanged(path);
}

void CloudStudio::setResumeJob(const QString& job)
{
    if (m_resumeJob == job && m_resumeJob.isNull() == job.isNull())
        return;
    m_resumeJob = job;
    Q_EMIT resumeJobChanged(job);
}
