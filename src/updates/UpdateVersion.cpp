#include "UpdateVersion.h"

#include <QStringList>

namespace UpdateVersion {

bool isValid(const QString& version)
{
    if (version.isEmpty())
        return false;
    for (const QString& segment : version.split(u'.')) {
        if (segment.isEmpty())
            return false;
        for (QChar c : segment)
            if (c < u'0' || c > u'9')
                return false;
    }
    return true;
}

namespace {

// Compares two runs of digits as numbers of any length, without overflow.
int compareSegments(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == u'0')
        a = a.mid(1);
    while (b.size() > 1 && b.front() == u'0')
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

int compare(const QString& a, const QString& b)
{
    const bool validA = isValid(a);
    const bool validB = isValid(b);
    if (!validA || !validB)
        return int(validA) - int(validB);
    const QStringList left = a.split(u'.');
    const QStringList right = b.split(u'.');
    const qsizetype count = std::max(left.size(), right.size());
    for (qsizetype i = 0; i < count; ++i) {
        const QString x = i < left.size() ? left[i] : QStringLiteral("0");
        const QString y = i < right.size() ? right[i] : QStringLiteral("0");
        if (const int order = compareSegments(x, y); order != 0)
            return order < 0 ? -1 : 1;
    }
    return 0;
}

} // namespace UpdateVersion
