#include "cloud/TolvaneService.h"

#include <gtest/gtest.h>

using TolvaneService::resolveOrigin;

TEST(TolvaneService, AcceptsOnlyHttpsOnTheServiceHostAsWritten)
{
    const QString host = TolvaneService::host();
    const QUrl fallback = TolvaneService::defaultOrigin();
    EXPECT_EQ(fallback.toString(), u"https://"_qs + host);
    EXPECT_TRUE(fallback.path().isEmpty());

    EXPECT_EQ(resolveOrigin(QJsonValue()), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(443)), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u"http://"_qs + host)), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u"HTTPS://"_qs + host + u"/staging"_qs)), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u"https://"_qs + host.toUpper())), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u"https://elsewhere.example/staging"_qs)), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u"https://"_qs + host + u".example"_qs)), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u"https://"_qs + host + u"@elsewhere.example"_qs)),
              fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u"https://"_qs + host + u"/a b"_qs)), fallback);
    EXPECT_EQ(resolveOrigin(QJsonValue(u""_qs)), fallback);

    const QUrl staging = resolveOrigin(QJsonValue(u"https://"_qs + host + u"/staging"_qs));
    EXPECT_EQ(staging.host(), host);
    EXPECT_EQ(staging.path(), u"/staging"_qs);
}

TEST(TolvaneService, OriginIsWorkedOutOnce)
{
    const QUrl first = TolvaneService::origin();
    EXPECT_EQ(first.scheme(), u"https"_qs);
    EXPECT_EQ(first.host(), TolvaneService::host());
    EXPECT_EQ(TolvaneService::origin(), first);
}
