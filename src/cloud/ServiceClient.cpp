#include "ServiceClient.h"

#include "CloudEndpoints.h"
#include "HttpExchange.h"
#include "TolvaneService.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>

namespace {

constexpr int generateTimeoutMs = 240'000;
constexpr int defaultTimeoutMs = 45'000;

} // namespace

ServiceClient::ServiceClient(QUrl base, QNetworkAccessManager* manager)
    : m_base(std::move(base)), m_manager(manager)
{
}

ServiceClient& ServiceClient::shared()
{
    // Owned by the application object, so it goes before the network stack does.
    static ServiceClient* instance = [] {
        auto* manager = new QNetworkAccessManager(QCoreApplication::instance());
        return new ServiceClient(TolvaneService::origin(), manager);
    }();
    return *instance;
}

QUrl ServiceClient::address(const QString& path) const
{
    return CloudEndpoints::join(m_base, path);
}

QNetworkRequest ServiceClient::makeRequest(const QString& path) const
{
    QNetworkRequest request(address(path));
    request.setTransferTimeout(path == u"api/cloud/generate" ? generateTimeoutMs
                                                             : defaultTimeoutMs);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return request;
}

QByteArray ServiceClient::encode(const Fields& fields)
{
    QJsonObject object;
    for (auto field = fields.cbegin(); field != fields.cend(); ++field)
        object.insert(field.key(), field.value());
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

Result<QByteArray> ServiceClient::interpret(int status, const QByteArray& body)
{
    if (status == 200)
        return Result<QByteArray>::success(body);
    // An explanation is a sentence; a body this large is none, and is not worth parsing.
    if (body.size() > HttpExchange::jsonLimit)
        return Result<QByteArray>::failure(QString::fromLatin1(HttpExchange::tooLargeText));
    const QJsonValue error = QJsonDocument::fromJson(body).object().value(QStringLiteral("error"));
    // A blank explanation tells the user nothing: the fixed sentence does.
    if (error.isString() && !error.toString().trimmed().isEmpty())
        return Result<QByteArray>::failure(error.toString());
    return Result<QByteArray>::failure(fallbackMessage);
}

void ServiceClient::request(const QString& path, const Fields& fields, QObject* context,
                            Callback callback)
{
    // Every answer of the service's job endpoints may carry a generated image.
    HttpExchange::send(*m_manager, makeRequest(path), "POST", encode(fields),
                       HttpExchange::imageReplyLimit, context,
                       [callback = std::move(callback)](const HttpOutcome& outcome) {
                           if (!outcome.answered())
                               callback(Result<QByteArray>::failure(outcome.transportError));
                           else
                               callback(interpret(outcome.status, outcome.body));
                       });
}
