#include "CloudEndpoints.h"

namespace CloudEndpoints {
namespace {

QUrl& xai()
{
    static QUrl base(QStringLiteral("https://api.x.ai"));
    return base;
}

} // namespace

QUrl xaiApi()
{
    return xai();
}

void setXaiApi(const QUrl& base)
{
    xai() = base;
}

QUrl join(const QUrl& base, const QString& path)
{
    QUrl url = base;
    QString joined = url.path();
    while (joined.endsWith(u'/'))
        joined.chop(1);
    QStringView tail(path);
    while (tail.startsWith(u'/'))
        tail = tail.mid(1);
    url.setPath(joined + u'/' + tail.toString());
    return url;
}

} // namespace CloudEndpoints
