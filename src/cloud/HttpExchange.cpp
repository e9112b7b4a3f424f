#include "HttpExchange.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <memory>

namespace HttpExchange {
namespace {

// The body as read so far, and whether reading stopped at the cap.
struct Received {
    QByteArray body;
    bool tooLarge = false;
};

HttpOutcome outcome(QNetworkReply* reply, const Received& received)
{
    HttpOutcome result;
    if (received.tooLarge) {
        result.tooLarge = true;
        result.transportError = QString::fromLatin1(tooLargeText);
        return result;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        result.status = status.toInt();
        result.body = received.body;
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

QNetworkReply* start(QNetworkAccessManager& manager, const QNetworkRequest& request,
                     const QByteArray& method, const QByteArray& body)
{
    if (method == "GET")
        return manager.get(request);
    if (method == "POST")
        return manager.post(request, body);
    return manager.sendCustomRequest(request, method, body);
}

// Takes what has arrived; past the cap the transfer ends and nothing more is kept.
void take(QNetworkReply* reply, Received& received, qint64 limit)
{
    if (received.tooLarge)
        return;
    const qint64 room = limit - received.body.size();
    if (reply->bytesAvailable() > room) {
        received.tooLarge = true;
        received.body.clear();
        reply->abort();
        return;
    }
    received.body.append(reply->readAll());
}

} // namespace

void send(QNetworkAccessManager& manager, const QNetworkRequest& request, const QByteArray& method,
          const QByteArray& body, qint64 limit, QObject* context,
          std::function<void(const HttpOutcome&)> handler)
{
    QNetworkReply* reply = start(manager, request, method, body);
    auto received = std::make_shared<Received>();
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [reply, received, limit] {
        const QVariant announced = reply->header(QNetworkRequest::ContentLengthHeader);
        if (!received->tooLarge && announced.isValid() && announced.toLongLong() > limit) {
            received->tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [reply, received, limit] { take(reply, *received, limit); });
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    QObject::connect(reply, &QNetworkReply::finished, context,
                     [reply, received, limit, handler = std::move(handler)] {
                         if (reply->isOpen())
                             take(reply, *received, limit);
                         handler(outcome(reply, *received));
                     });
}

} // namespace HttpExchange
