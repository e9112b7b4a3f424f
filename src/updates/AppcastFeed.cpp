#include "AppcastFeed.h"

#include "UpdateVersion.h"
#include "core/EngineError.h"

#include <QXmlStreamReader>

namespace AppcastFeed {

namespace {

MessageError unreadableFeed()
{
    return MessageError(QStringLiteral("The update feed could not be read."));
}

void readEnclosure(QXmlStreamReader& xml, AppcastItem& item)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    item.url = QUrl(attributes.value(QStringLiteral("url")).toString().trimmed(), QUrl::StrictMode);
    bool ok = false;
    const qint64 length = attributes.value(QStringLiteral("length")).trimmed().toLongLong(&ok);
    item.length = ok ? length : 0;
    const QString ns = QString::fromLatin1(nameSpace);
    item.version = attributes.value(ns, QStringLiteral("version")).toString().trimmed();
    item.signature = attributes.value(ns, QStringLiteral("edSignature")).toString().trimmed();
    xml.skipCurrentElement();
}

AppcastItem readItem(QXmlStreamReader& xml)
{
    AppcastItem item;
    while (xml.readNextStartElement()) {
        const bool plain = xml.namespaceUri().isEmpty();
        if (plain && xml.name() == u"title")
            item.title = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        else if (plain && xml.name() == u"description")
            item.notes = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
        else if (plain && xml.name() == u"enclosure")
            readEnclosure(xml, item);
        else
            xml.skipCurrentElement();
    }
    return item;
}

bool isComplete(const AppcastItem& item)
{
    return item.url.isValid() && !item.url.isRelative() && item.length > 0 &&
           UpdateVersion::isValid(item.version) && !item.signature.isEmpty();
}

} // namespace

QList<AppcastItem> parse(const QByteArray& bytes)
{
    QXmlStreamReader xml(bytes);
    if (!xml.readNextStartElement() || xml.name() != u"rss")
        throw unreadableFeed();
    QList<AppcastItem> items;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"channel") {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (xml.name() != u"item") {
                xml.skipCurrentElement();
                continue;
            }
            if (AppcastItem item = readItem(xml); isComplete(item))
                items.append(std::move(item));
        }
    }
    if (xml.hasError())
        throw unreadableFeed();
    return items;
}

std::optional<AppcastItem> newest(const QList<AppcastItem>& items)
{
    std::optional<AppcastItem> best;
    for (const AppcastItem& item : items)
        if (!best || UpdateVersion::compare(item.version, best->version) > 0)
            best = item;
    return best;
}

} // namespace AppcastFeed
