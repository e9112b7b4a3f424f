#pragma once

#include <QUrl>

// Addresses of the outside services the studio speaks to; tests point them at loopback servers.
namespace CloudEndpoints {

// The xAI API, "https://api.x.ai" unless replaced.
QUrl xaiApi();
void setXaiApi(const QUrl& base);
// `base` with `path` appended after exactly one slash.
QUrl join(const QUrl& base, const QString& path);

} // namespace CloudEndpoints
