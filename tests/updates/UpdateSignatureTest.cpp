#include "updates/UpdateSignature.h"

#include "UpdateFixtures.h"
#include "core/EngineError.h"
#include "updates/HeldEntry.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

QString verifyFailure(const QString& path, const QString& signature, const QString& key)
{
    try {
        UpdateSignature::verify(HeldEntry::openFile(path).descriptor(), signature, key);
        return {};
    } catch (const MessageError& error) {
        return error.message();
    }
}

struct SignedFile {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("archive.tar.gz"));
    UpdateFixtures::KeyPair keys = UpdateFixtures::makeKeyPair();
    QString signature;

    SignedFile()
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(QByteArray(100'000, 'a') + "end");
        file.close();
        signature = UpdateFixtures::signFile(path, keys.secretKey);
    }
};

const QString mismatch =
    QStringLiteral("The update’s signature does not match. It was not installed.");

} // namespace

TEST(UpdateSignature, AcceptsOnlyTheSignedBytesUnderTheRightKey)
{
    SignedFile file;
    EXPECT_EQ(verifyFailure(file.path, file.signature, file.keys.publicKey), QString());

    // Another key pair's public key.
    EXPECT_EQ(verifyFailure(file.path, file.signature, UpdateFixtures::makeKeyPair().publicKey),
              mismatch);
    // One flipped bit of the signature.
    QByteArray sig = QByteArray::fromBase64(file.signature.toLatin1());
    sig[10] = char(sig[10] ^ 1);
    EXPECT_EQ(verifyFailure(file.path, QString::fromLatin1(sig.toBase64()), file.keys.publicKey),
              mismatch);
    // One byte of the file changed, then one byte appended.
    QFile f(file.path);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    f.seek(500);
    f.write("b");
    f.close();
    EXPECT_EQ(verifyFailure(file.path, file.signature, file.keys.publicKey), mismatch);
}

TEST(UpdateSignature, RefusesMalformedSignaturesAndKeys)
{
    SignedFile file;
    const QString malformed = QStringLiteral("The update’s signature is malformed.");
    const QByteArray sig = QByteArray::fromBase64(file.signature.toLatin1());
    // Short, long, empty, not base64.
    EXPECT_EQ(
        verifyFailure(file.path, QString::fromLatin1(sig.left(63).toBase64()), file.keys.publicKey),
        malformed);
    EXPECT_EQ(
        verifyFailure(file.path, QString::fromLatin1((sig + "x").toBase64()), file.keys.publicKey),
        malformed);
    EXPECT_EQ(verifyFailure(file.path, QString(), file.keys.publicKey), malformed);
    EXPECT_EQ(verifyFailure(file.path, QStringLiteral("***"), file.keys.publicKey), malformed);

    const QString badKey = QStringLiteral("This build’s update key is not valid.");
    const QByteArray key = QByteArray::fromBase64(file.keys.publicKey.toLatin1());
    EXPECT_EQ(verifyFailure(file.path, file.signature, QString()), badKey);
    EXPECT_EQ(
        verifyFailure(file.path, file.signature, QString::fromLatin1(key.left(31).toBase64())),
        badKey);
    EXPECT_FALSE(UpdateSignature::isValidPublicKey(QStringLiteral("not a key")));
    EXPECT_TRUE(UpdateSignature::isValidPublicKey(file.keys.publicKey));

    EXPECT_EQ(verifyFailure(file.dir.filePath(QStringLiteral("gone")), file.signature,
                            file.keys.publicKey),
              QStringLiteral("The downloaded update could not be read."));
}
