#include "HttpExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace HttpExchange {

HttpOutcome outcome(QNetworkReply* reply)
{
    HttpOutcome result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        result.status = status.toInt();
        if (reply->isOpen())
            result.body = reply->readAll();
        return result;
    }
    switch (reply->error()) {
    case QNetworkReply::OperationCanceledError: // what a transfer time-out reports
    case QNetworkReply::TimeoutError:
        result.transportError = QString::fromLatin1(timedOut);
        break;
    default:
        result.transportError = reply->errorString();
    }
    if (result.transportError.isEmpty())
        result.transportError = QStringLiteral("The server could not be reached.");
    return result;
}

void send(QNetworkAccessManager& manager, const QNetworkRequest& request, const QByteArray& method,
          const QByteArray& body, QObject* context, std::function<void(const HttpOutcome&)> handler)
{
    QNetworkReply* reply = nullptr;
    if (method == "GET")
        reply = manager.get(request);
    else if (method == "POST")
        reply = manager.post(request, body);
    else
        reply = manager.sendCustomRequest(request, method, body);
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, handler = std::move(handler)] { handler(outcome(reply)); });
}

} // namespace HttpExchange
