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

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

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

void makeTree(const QString& folder, const QString& version)
{
    const QString program = folder + QStringLiteral("/bin/tolvane");
    writeFile(program, "#!/bin/sh\necho " + version.toUtf8() + "\n");
    QFile::setPermissions(program, QFile::permissions(program) | QFile::ExeOwner | QFile::ExeGroup |
                                       QFile::ExeOther);
    const QJsonObject info{{QStringLiteral("CFBundleShortVersionString"), version}};
    writeFile(folder + QStringLiteral("/share/tolvane/Info.json"), QJsonDocument(info).toJson());
    writeFile(folder + QStringLiteral("/share/tolvane/Models/PhotoX4.onnx"), "model");
}

QString buildTool(const char* variable, const char* builtIn)
{
    return qEnvironmentVariable(variable, QString::fromUtf8(builtIn));
}

void run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(30000)) << program.toStdString();
    ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
}

QString packTree(const QString& tree, const QString& outFolder)
{
    QProcess tool;
    tool.start(buildTool("TOLVANE_PACKAGE_TOOL", TOLVANE_PACKAGE_TOOL),
               {QStringLiteral("--pack"), tree, outFolder});
    EXPECT_TRUE(tool.waitForFinished(30000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

void unpackRelease(const QString& archive, const QString& folder, const QString& version)
{
    QTemporaryDir work;
    run(QStringLiteral("tar"),
        {QStringLiteral("-xzf"), archive, QStringLiteral("-C"), work.path()});
    QDir().mkpath(QFileInfo(folder).path());
    ASSERT_TRUE(QDir().rename(work.filePath(QStringLiteral("tolvane-") + version), folder));
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

void makeInstallation(const QString& folder, const QString& version)
{
    QTemporaryDir work;
    makeArchive(work.filePath(QStringLiteral("release.tar.gz")), version);
    unpackRelease(work.filePath(QStringLiteral("release.tar.gz")), folder, version);
}

void makeArchive(const QString& path, const QString& version, bool topFolder)
{
    QTemporaryDir work;
    makeTree(work.filePath(QStringLiteral("tree")), version);
    const QString packed = packTree(work.filePath(QStringLiteral("tree")), work.path());
    if (topFolder) {
        QFile::remove(path);
        ASSERT_TRUE(QFile::rename(packed, path));
        return;
    }
    const QString release = work.filePath(QStringLiteral("release"));
    unpackRelease(packed, release, version);
    run(QStringLiteral("tar"),
        {QStringLiteral("-czf"), path, QStringLiteral("-C"), release, QStringLiteral(".")});
}

void makeHostileArchive(const QString& archive, const QString& base,
                        const std::function<void(const QString& release)>& prepare,
                        const QStringList& extra)
{
    const QString release = base + QStringLiteral("/tolvane-1.1.0");
    makeInstallation(release, QStringLiteral("1.1.0"));
    prepare(release);
    run(QStringLiteral("tar"), QStringList{QStringLiteral("-czPf"), archive, QStringLiteral("-C"),
                                           base, QStringLiteral("tolvane-1.1.0")} +
                                   extra);
}

} // namespace UpdateFixtures
