#include "core/Resources.h"

#include <QFileInfo>
#include <gtest/gtest.h>

TEST(Resources, InfoCarriesTheVersionAndNoServiceKeysByDefault)
{
    const QJsonObject info = Resources::info();
    EXPECT_EQ(info.value("CFBundleShortVersionString").toString(), TOLVANE_VERSION);
    EXPECT_FALSE(info.contains("SUFeedURL"));
    EXPECT_FALSE(info.contains("SUPublicEDKey"));
    EXPECT_FALSE(info.contains("TolvaneServiceURL"));
    EXPECT_TRUE(QFileInfo(Resources::path("Models/PhotoX4.onnx")).isFile());
    EXPECT_TRUE(QFileInfo(Resources::path("THIRD-PARTY-NOTICES.txt")).isFile());
}
