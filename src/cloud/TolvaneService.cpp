#include "TolvaneService.h"

#include "core/Resources.h"

#include <QJsonObject>

namespace TolvaneService {
namespace {

// The host part of an authority as written: no user information, no port.
QStringView rawHost(QStringView authority)
{
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0)
        authority = authority.mid(at + 1);
    const qsizetype colon = authority.indexOf(u':');
    return colon >= 0 ? authority.left(colon) : authority;
}

} // namespace

QString host()
{
    return QStringLiteral(TOLVANE_SERVICE_HOST);
}

QUrl defaultOrigin()
{
    return QUrl(QStringLiteral("https://") + host());
}

QUrl resolveOrigin(const QJsonValue& value)
{
    if (!value.isString())
        return defaultOrigin();
    // QUrl lowers the scheme and the host, so both are checked on the text as written.
    const QString text = value.toString();
    const QLatin1StringView scheme("https://");
    if (!text.startsWith(scheme, Qt::CaseSensitive))
        return defaultOrigin();
    QStringView authority = QStringView(text).mid(scheme.size());
    for (qsizetype i = 0; i < authority.size(); ++i)
        if (authority[i] == u'/' || authority[i] == u'?' || authority[i] == u'#') {
            authority = authority.left(i);
            break;
        }
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || rawHost(authority) != host() || url.host() != host())
        return defaultOrigin();
    return url;
}

QUrl origin()
{
    static const QUrl resolved =
        resolveOrigin(Resources::info().value(QStringLiteral("TolvaneServiceURL")));
    return resolved;
}

} // namespace TolvaneService
