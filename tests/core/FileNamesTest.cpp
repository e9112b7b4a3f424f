#include "core/FileNames.h"
#include "core/EngineError.h"

#include "TestSupport.h"

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
        // The source is a hidden file the user never sees: only the destination is named.
        EXPECT_EQ(error.message(),
                  "Couldn't save to because an item with that name already exists.");
    }
    EXPECT_EQ(readFile(to), "old");
    EXPECT_EQ(readFile(from), "new");

    QFile::remove(to);
    FileNames::moveNoReplace(from, to);
    EXPECT_EQ(readFile(to), "new");
    EXPECT_FALSE(QFile::exists(from));
}

// FUSE and network mounts: neither renameat2 flags nor hard links; the exclusive copy steps in.
TEST(FileNames, MoveWithoutLinksCopiesExclusively)
{
    struct Linkless {
        Linkless() { FileNames::simulateLinklessFileSystem(true); }
        ~Linkless() { FileNames::simulateLinklessFileSystem(false); }
    } linkless;
    QTemporaryDir dir;
    const QString from = dir.filePath(".hidden-result");
    const QString to = dir.filePath("result.png");
    const QByteArray payload(3 << 20, 'p'); // more than one copy buffer
    writeFile(from, payload);
    FileNames::moveNoReplace(from, to);
    EXPECT_EQ(readFile(to), payload);
    EXPECT_FALSE(QFile::exists(from));

    // An existing name is still never replaced, and the error names it.
    writeFile(from, "new");
    try {
        FileNames::moveNoReplace(from, to);
        FAIL() << "replaced an existing file";
    } catch (const PlatformError& error) {
        EXPECT_EQ(error.message(),
                  "Couldn't save result.png because an item with that name already exists.");
    }
    EXPECT_EQ(readFile(to), payload);
    EXPECT_EQ(readFile(from), "new");
}

TEST(FileNames, FailedCopyLeavesNoPartialFile)
{
    struct Linkless {
        Linkless() { FileNames::simulateLinklessFileSystem(true); }
        ~Linkless() { FileNames::simulateLinklessFileSystem(false); }
    } linkless;
    QTemporaryDir dir;
    const QString from = dir.filePath(".hidden-result");
    const QString to = dir.filePath("result.png");
    writeFile(from, QByteArray(64 << 10, 'p'));
    try {
        const TestSupport::FileSizeLimit limit(16 << 10);
        FileNames::moveNoReplace(from, to);
        FAIL() << "a truncated copy was reported as moved";
    } catch (const PlatformError& error) {
        EXPECT_TRUE(error.message().startsWith("Couldn't save result.png: "))
            << error.message().toStdString();
    }
    EXPECT_FALSE(QFile::exists(to));
    EXPECT_EQ(readFile(from).size(), 64 << 10);
}
