#pragma once

#include <QJsonValue>
#include <QString>
#include <QUrl>

// Where the product's cloud service is.
namespace TolvaneService {

// The service host, fixed when the program is built.
QString host();
// "https://<host>", no path.
QUrl defaultOrigin();
// The override when `value` is a text that begins with exactly "https://", names exactly the
// service host (no case folding) and parses strictly; its path is kept. Otherwise the default.
QUrl resolveOrigin(const QJsonValue& value);
// Worked out once per process from Info.json's "TolvaneServiceURL".
QUrl origin();

} // namespace TolvaneService
