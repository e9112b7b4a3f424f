#include "ServiceClient.h"

#include "CloudEndpoints.h"
#include "HttpExchange.h"
#include "ServiceAccount.h"
#include "TolvaneService.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <utility>

namespace {

constexpr int generateTimeoutMs = 240'000;
constexpr int defaultTimeoutMs = 45'000;
constexpr int catalogTimeoutMs = 60'000;

// The account token must never reach another host.
void stayWithinOrigin(QNetworkRequest& request)
{
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::SameOriginRedirectPolicy);
}

} // namespace

ServiceClient::ServiceClient(QUrl base, QNetworkAccessManager* manager)
    : m_base(std::move(base)), m_manager(manager), m_keyringContext(std::make_unique<QObject>())
{
}

ServiceClient::~ServiceClient() = default;

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
    stayWithinOrigin(request);
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
    send(makeRequest(path), "POST", encode(fields), HttpExchange::imageReplyLimit, context,
         [callback = std::move(callback)](const HttpOutcome& outcome) {
             if (!outcome.answered())
                 callback(Result<QByteArray>::failure(outcome.transportError));
             else
                 callback(interpret(outcome.status, outcome.body));
         });
}

void ServiceClient::fetchCatalog(QObject* context, std::function<void(const HttpOutcome&)> handler)
{
    // A plain GET without the account token: the catalogue is public, and never waits for the
    // keyring.
    QNetworkRequest request(address(QStringLiteral("api/models")));
    request.setTransferTimeout(catalogTimeoutMs);
    HttpExchange::send(*m_manager, request, "GET", {}, HttpExchange::jsonLimit, context,
                       std::move(handler));
}

void ServiceClient::send(QNetworkRequest request, const QByteArray& method, const QByteArray& body,
                         qint64 limit, QObject* context,
                         std::function<void(const HttpOutcome&)> handler)
{
    withToken(context, [this, request, method, body, limit, context,
                        handler = std::move(handler)](const Result<QString>& token) mutable {
        if (!token.isOk()) {
            HttpOutcome failed;
            failed.transportError = token.error();
            handler(failed);
            return;
        }
        request.setRawHeader("Authorization", "Bearer " + token.value().toLatin1());
        HttpExchange::send(*m_manager, request, method, body, limit, context, std::move(handler));
    });
}

void ServiceClient::withToken(QObject* context, TokenUse use)
{
    if (!m_token.isEmpty()) {
        use(Result<QString>::success(m_token));
        return;
    }
    m_waitingForToken.append({context, std::move(use)});
    if (m_waitingForToken.size() > 1)
        return;
    // One read for all: two requests must never make two tokens.
    ServiceAccount::tokenLater(m_keyringContext.get(), [this](const Result<QString>& token) {
        if (token.isOk())
            m_token = token.value();
        const auto waiting = std::exchange(m_waitingForToken, {});
        for (const auto& [waiter, use] : waiting)
            if (waiter)
                use(token);
    });
}
