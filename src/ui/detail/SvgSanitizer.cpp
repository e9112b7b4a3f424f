#include "SvgSanitizer.h"

#include <QRegularExpression>

namespace SvgSanitizer {

namespace {

// The end of the start tag that begins at `from` (the index just past its '>'), honouring
// quoted attribute values; -1 when the text ends first.
qsizetype tagEnd(const QString& text, qsizetype from)
{
    QChar quote;
    for (qsizetype i = from; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            return i + 1;
        }
    }
    return -1;
}

// True when every href of the tag (any prefix: xlink:href, href, x:href) is a data: URL.
bool refersOnlyToData(QStringView tag)
{
    static const QRegularExpression href(
        QStringLiteral(R"re((?:^|\s)(?:[A-Za-z_][\w.-]*:)?href\s*=\s*(?:"([^"]*)"|'([^']*)'))re"));
    auto matches = href.globalMatch(tag);
    while (matches.hasNext()) {
        const auto match = matches.next();
        const QString value = match.hasCaptured(1) ? match.captured(1) : match.captured(2);
        if (!value.trimmed().startsWith(QStringLiteral("data:"), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

} // namespace

QString withoutExternalImages(const QString& svg)
{
    static const QRegularExpression start(
        QStringLiteral(R"(<((?:[A-Za-z_][\w.-]*:)?(?:image|feImage))(?=[\s/>]))"));
    QString out;
    out.reserve(svg.size());
    qsizetype copied = 0;
    auto matches = start.globalMatch(svg);
    while (matches.hasNext()) {
        const auto match = matches.next();
        if (match.capturedStart() < copied)
            continue; // inside an element already removed
        const qsizetype end = tagEnd(svg, match.capturedEnd());
        if (end < 0)
            break;
        const QStringView tag =
            QStringView(svg).mid(match.capturedStart(), end - match.capturedStart());
        if (refersOnlyToData(tag))
            continue;
        qsizetype elementEnd = end;
        if (!tag.endsWith(u"/>")) {
            const QString close = QStringLiteral("</") + match.captured(1);
            const qsizetype closeAt = svg.indexOf(close, end);
            const qsizetype closeEnd = closeAt < 0 ? -1 : svg.indexOf(u'>', closeAt);
            // An element left open runs to the end of the text; drop all of it.
            elementEnd = closeEnd < 0 ? svg.size() : closeEnd + 1;
        }
        out += QStringView(svg).mid(copied, match.capturedStart() - copied);
        copied = elementEnd;
    }
    out += QStringView(svg).mid(copied);
    return out;
}

} // namespace SvgSanitizer
