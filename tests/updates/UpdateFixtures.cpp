#include "UpdateFixtures.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sodium.h>

namespace UpdateFixtures {

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

} // namespace

KeyPair makeKeyPair()
{
    EXPECT_GE(sodium_init(), 0);
    unsigned char pk[crypto_sign_PUBLICKEYBYTES];
    unsigned char sk[crypto_sign_SECRETKEYBYTES];
    crypto_sign_keypair(pk, sk);
    return {QString::fromLatin1(QByteArray(reinterpret_cast<char*>(pk), sizeof pk).toBase64()),
            QByteArray(reinterpret_cast<char*>(sk), sizeof sk)};
}

QString signFile(const QString& path, const QByteArray& secretKey)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    unsigned char sig[crypto_sign_BYTES];
    crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(bytes.constData()),
                         quint64(bytes.size()),
                         reinterpret_cast<const unsigned char*>(secretKey.constData()));
    return QString::fromLatin1(QByteArray(reinterpret_cast<char*>(sig), sizeof sig).toBase64());
}

void makeInstallation(const QString& folder, const QString& version)
{
    const QString program = folder + QStringLiteral("/bin/tolvane");
    write(program, "#!/bin/sh\necho " + version.toUtf8() + "\n");
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner | QFile::ExeGroup |
                                       QFile::ExeOther);
    const QJsonObject info{{QStringLiteral("CFBundleShortVersionString"), version}};
    write(folder + QStringLiteral("/share/tolvane/Info.json"), QJsonDocument(info).toJson());
}

QString installedVersion(const QString& folder)
{
    QFile file(folder + QStringLiteral("/share/tolvane/Info.json"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll())
        .object()
        .value(QStringLiteral("CFBundleShortVersionString"))
        .toString();
}

void makeArchive(const QString& path, const QString& version, bool topFolder)
{
    QTemporaryDir work;
    const QString top = QStringLiteral("tolvane-") + version;
    makeInstallation(work.path() + u'/' + top, version);
    QProcess tar;
    tar.setWorkingDirectory(topFolder ? work.path() : work.path() + u'/' + top);
    tar.start(QStringLiteral("tar"),
              {QStringLiteral("-czf"), path, topFolder ? top : QStringLiteral(".")});
    ASSERT_TRUE(tar.waitForFinished(30000));
    ASSERT_EQ(tar.exitCode(), 0) << tar.readAllStandardError().toStdString();
}

} // namespace UpdateFixtures
