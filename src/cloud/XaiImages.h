#pragma once

#include "CloudRecords.h"
#include "Result.h"

#include <QJsonObject>
#include <QNetworkRequest>
#include <QUrl>
#include <functional>
#include <optional>

class QNetworkAccessManager;
class QObject;
struct HttpOutcome;

// One image made directly by xAI's image API with the user's own key.
namespace xai {

inline const QString failureText = QStringLiteral(
    "xAI could not complete the request. Check your provider balance, key permissions, and "
    "prompt. Provider charges are managed by xAI.");

// The generation body: the studio's fixed image model, the prompt as typed, one image, the
// chosen model's resolution and quality, Base64 output, and the reference when there is one.
QJsonObject requestBody(const CloudModel& model, const QString& prompt,
                        const std::optional<QString>& image);
// POST to "v1/images/edits" with a reference, else "v1/images/generations"; bearer key, JSON,
// 240 s, never redirected to another host.
QNetworkRequest makeRequest(const QUrl& base, const QString& key, bool edit);
// Only status 200 with {"data":[{"b64_json": <strict Base64>}, …]} gives bytes. A body that is
// not JSON gives the decoder's sentence; every other fault the fixed xAI text.
Result<QByteArray> interpret(const HttpOutcome& outcome);

// Sends the request and calls `done` on `context`'s thread with the decoded image bytes.
void requestImage(QNetworkAccessManager& network, const QUrl& base, const QString& key,
                  const CloudModel& model, const QString& prompt,
                  const std::optional<QString>& image, QObject* context,
                  std::function<void(const Result<QByteArray>&)> done);

} // namespace xai
