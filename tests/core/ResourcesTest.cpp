#include "core/Resources.h"

#include <QFile>
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

// The About window shows the notices as they are: every component names its licence, and no note
// meant for the maintainers reaches the user.
TEST(Resources, NoticesNameALicencePerComponentAndHoldNoOpenQuestion)
{
    QFile file(Resources::path("THIRD-PARTY-NOTICES.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    const QString rule(78, u'=');
    const QStringList parts = text.split(rule);
    // The preamble, then a heading and a body per component.
    ASSERT_GE(parts.size(), 3);
    for (qsizetype i = 2; i < parts.size(); i += 2)
        EXPECT_TRUE(parts[i].contains(QStringLiteral("\nLicence:"))) << parts[i - 1].toStdString();
    for (const char* note : {"TO CONFIRM", "TODO", "FIXME", "XXX"})
        EXPECT_FALSE(text.contains(QLatin1String(note), Qt::CaseSensitive)) << note;
}
