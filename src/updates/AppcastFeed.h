#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

// One release offered by the update feed.
struct AppcastItem {
    QString title;
    QString version;   // dot-separated numbers
    QUrl url;          // the signed archive
    qint64 length = 0; // its exact size in bytes
    QString signature; // base64 ed25519 signature of the whole archive
    QString notes;     // plain text, shown as such
};

// The update feed: RSS 2.0 whose items each carry an <enclosure url length> with the attributes
// version and edSignature in the namespace below, and plain-text release notes in <description>.
namespace AppcastFeed {
inline constexpr auto nameSpace = "https://vandelorn.com/xml-namespaces/tolvane-update";

// Every complete item, in feed order. Items missing a usable url, length, version or signature
// are left out. Throws MessageError when the document is not a readable RSS feed.
QList<AppcastItem> parse(const QByteArray& xml);
// The item with the highest version, or none for an empty list.
std::optional<AppcastItem> newest(const QList<AppcastItem>& items);
} // namespace AppcastFeed
