#include "XaiImages.h"

#include "APIKeyConnection.h"
#include "CloudEndpoints.h"
#include "HttpExchange.h"
#include "JsonReader.h"
#include "StrictBase64.h"
#include "core/Async.h"
#include "core/WorkPools.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QtConcurrent>

namespace xai {
namespace {

constexpr int generationTimeoutMs = 240'000;

// The first item's image of a parsed reply, or nothing when the shape is wrong.
std::optional<QByteArray> imageOf(const QJsonDocument& document)
{
    if (!document.isObject())
        return std::nullopt;
    const QJsonValue data = document.object().value(QStringLiteral("data"));
    if (!data.isArray() || data.toArray().isEmpty() || !data.toArray().first().isObject())
        return std::nullopt;
    const QJsonValue encoded = data.toArray().first().toObject().value(QStringLiteral("b64_json"));
    if (!encoded.isString())
        return std::nullopt;
    return strictBase64Decode(encoded.toString());
}

} // namespace

QJsonObject requestBody(const CloudModel& model, const QString& prompt,
                        const std::optional<QString>& image)
{
    QJsonObject body{
        {QStringLiteral("model"), APIKeyConnection::imageModel},
        {QStringLiteral("prompt"), prompt},
        {QStringLiteral("n"), 1},
        {QStringLiteral("resolution"), model.resolution},
        {QStringLiteral("quality"), model.quality},
        {QStringLiteral("response_format"), QStringLiteral("b64_json")},
    };
    if (image)
        body.insert(QStringLiteral("image"),
                    QJsonObject{{QStringLiteral("url"), *image},
                                {QStringLiteral("type"), QStringLiteral("image_url")}});
    return body;
}

QNetworkRequest makeRequest(const QUrl& base, const QString& key, bool edit)
{
    const QString path =
        edit ? QStringLiteral("v1/images/edits") : QStringLiteral("v1/images/generations");
    QNetworkRequest request(CloudEndpoints::join(base, path));
    request.setTransferTimeout(generationTimeoutMs);
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    // The key must never travel to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
    return request;
}

Result<QByteArray> interpret(const HttpOutcome& outcome)
{
    if (!outcome.answered())
        return Result<QByteArray>::failure(outcome.transportError);
    if (outcome.status != 200)
        return Result<QByteArray>::failure(failureText);
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(outcome.body, &error);
    if (error.error != QJsonParseError::NoError)
        return Result<QByteArray>::failure(DecodeError::wrongFormat().message());
    const std::optional<QByteArray> image = imageOf(document);
    if (!image)
        return Result<QByteArray>::failure(failureText);
    return Result<QByteArray>::success(*image);
}

void requestImage(QNetworkAccessManager& network, const QUrl& base, const QString& key,
                  const CloudModel& model, const QString& prompt,
                  const std::optional<QString>& image, QObject* context,
                  std::function<void(const Result<QByteArray>&)> done)
{
    const QByteArray body =
        QJsonDocument(requestBody(model, prompt, image)).toJson(QJsonDocument::Compact);
    HttpExchange::send(network, makeRequest(base, key, image.has_value()), "POST", body,
                       HttpExchange::imageReplyLimit, context,
                       [context, done = std::move(done)](const HttpOutcome& outcome) {
                           // The reply may hold a whole image as Base64: it is parsed off the GUI
                           // thread.
                           whenFinished(QtConcurrent::run(&WorkPools::views(),
                                                          [outcome] { return interpret(outcome); }),
                                        context, done);
                       });
}

} // namespace xai
