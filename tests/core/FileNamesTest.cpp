#include "core/FileNames.h"
#include "core/EngineError.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(FileNames, ExtensionRules)
{
    EXPECT_EQ(FileNames::pathExtension("/a/photo.JPG"), "JPG");
    EXPECT_EQ(FileNames::pathExtension("/a/archive.old.png"), "png");
    EXPECT_EQ(FileNames::pathExtension("/a/.png"), "");
    EXPECT_EQ(FileNames::pathExtension("/a/name."), "");
    EXPECT_EQ(FileNames::pathExtension("/a.b/name"), "");
    EXPECT_EQ(FileNames::stem("/a/archive.old.png"), "archive.old");
    EXPECT_EQ(FileNames::stem("/a/.hidden"), ".hidden");
    EXPECT_EQ(FileNames::lastPathComponent("/a/b/c.png"), "c.png");
    const QString uuid = FileNames::newUuidString();
    EXPECT_EQ(uuid.size(), 36);
    EXPECT_EQ(uuid, uuid.toUpper());
}

namespace {
void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

TEST(FileNames, MoveNeverReplaces)
{
    QTemporaryDir dir;
    const QString from = dir.filePath("from");
    const QString to = dir.filePath("to");
    writeFile(from, "new");
    writeFile(to, "old");
    try {
        FileNames::moveNoReplace(from, to);
        FAIL() << "moved onto an existing file";
    } catch (const PlatformError& error) {
        EXPECT_TRUE(error.message().contains("to")) << error.message().toStdString();
        EXPECT_FALSE(error.message().contains(dir.path()));
    }
    EXPECT_EQ(readFile(to), "old");
    EXPECT_EQ(readFile(from), "new");

    QFile::remove(to);
    FileNames::moveNoReplace(from, to);
    EXPECT_EQ(readFile(to), "new");
    EXPECT_FALSE(QFile::exists(from));
}
