#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QObject;

// What came back for one request: an HTTP answer (status and body, whatever the status), or a
// transport failure told in one sentence.
struct HttpOutcome {
    QString transportError; // empty when an HTTP answer came
    int status = -1;        // -1 without an HTTP answer
    QByteArray body;
    bool tooLarge = false; // the body passed its cap and was not read to its end

    bool answered() const { return status >= 0; }
};

namespace HttpExchange {

inline constexpr char timedOut[] = "The request timed out.";
inline constexpr char tooLargeText[] =
    "The server sent a reply larger than Tolvane accepts, so it was not read. Try again shortly.";

// Caps on a reply body: JSON that never holds an image (catalogues, model lists, error texts),
// and JSON that may hold a generated image as Base64 (the service's job answers, xAI's images).
inline constexpr qint64 jsonLimit = qint64(4) << 20;
inline constexpr qint64 imageReplyLimit = qint64(64) << 20;

// Sends `body` with `method` and calls `handler` on `context`'s thread once the reply has
// finished, then deletes the reply. Nothing is called when `context` is gone by then. A body
// whose announced length or whose bytes read pass `limit` ends the transfer at once: the
// outcome is then a transport failure with tooLarge set. An HTTP answer is recognised by its
// status code (Qt also flags 4xx and 5xx as errors); a transfer time-out reads "The request
// timed out.".
void send(QNetworkAccessManager& manager, const QNetworkRequest& request, const QByteArray& method,
          const QByteArray& body, qint64 limit, QObject* context,
          std::function<void(const HttpOutcome&)> handler);

} // namespace HttpExchange
