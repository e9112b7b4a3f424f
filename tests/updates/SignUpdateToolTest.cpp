#include "updates/UpdateSignature.h"

#include "TestSupport.h"
#include "UpdateFixtures.h"
#include "updates/HeldEntry.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int status = -1;
    QString out;
};

ToolRun signUpdate(const QStringList& arguments)
{
    QProcess tool;
    tool.start(UpdateFixtures::buildTool("TOLVANE_SIGN_UPDATE", TOLVANE_SIGN_UPDATE), arguments);
    EXPECT_TRUE(tool.waitForFinished(30000));
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput()).trimmed()};
}

} // namespace

// What the release tool signs is what the updater accepts.
TEST(SignUpdateTool, KeysAndSignaturesMatchTheUpdater)
{
    QTemporaryDir dir;
    const QString key = dir.filePath(QStringLiteral("update.key"));
    const QString archive = dir.filePath(QStringLiteral("tolvane-1.1.0-linux-x86_64.tar.gz"));
    UpdateFixtures::makeArchive(archive, QStringLiteral("1.1.0"));

    const ToolRun made = signUpdate({QStringLiteral("generate-key"), key});
    ASSERT_EQ(made.status, 0);
    const QString publicKey = made.out;
    EXPECT_TRUE(UpdateSignature::isValidPublicKey(publicKey));
    // Private to its owner.
    EXPECT_EQ(QFile::permissions(key) & 0x0077, QFileDevice::Permissions());

    // An existing key is never replaced.
    const QByteArray secret = TestSupport::readBytes(key);
    EXPECT_EQ(signUpdate({QStringLiteral("generate-key"), key}).status, 1);
    EXPECT_EQ(TestSupport::readBytes(key), secret);

    const ToolRun signing = signUpdate({QStringLiteral("sign"), key, archive});
    ASSERT_EQ(signing.status, 0);
    const auto match =
        QRegularExpression(QStringLiteral("^edSignature=\"([^\"]+)\" length=\"(\\d+)\"$"))
            .match(signing.out);
    ASSERT_TRUE(match.hasMatch()) << signing.out.toStdString();
    EXPECT_EQ(match.captured(2).toLongLong(), QFileInfo(archive).size());
    EXPECT_NO_THROW(UpdateSignature::verify(HeldEntry::openFile(archive).descriptor(),
                                            match.captured(1), publicKey));

    // Anything but a key made by the tool is refused.
    EXPECT_EQ(signUpdate({QStringLiteral("sign"), archive, archive}).status, 1);
    EXPECT_EQ(signUpdate({QStringLiteral("sign"), key}).status, 2);
}
