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

    bool answered() const { return status >= 0; }
};

namespace HttpExchange {

inline constexpr char timedOut[] = "The request timed out.";

// Reads a finished reply. An HTTP answer is recognised by its status code (Qt also flags 4xx
// and 5xx as errors); a transfer time-out reads "The request timed out.".
HttpOutcome outcome(QNetworkReply* reply);

// Sends `body` with `method` and calls `handler` on `context`'s thread once the reply has
// finished, then deletes the reply. Nothing is called when `context` is gone by then.
void send(QNetworkAccessManager& manager, const QNetworkRequest& request, const QByteArray& method,
          const QByteArray& body, QObject* context,
          std::function<void(const HttpOutcome&)> handler);

} // namespace HttpExchange
