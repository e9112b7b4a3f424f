#include "core/RegularFile.h"

#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

// Only a regular file is kept, and nothing else at the path is ever waited on: a FIFO without a
// writer would block a plain open, and one with a writer would block the first read.
TEST(RegularFile, KeepsOnlyRegularFilesAndNeverWaits)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("a.png");
    TestSupport::writeBytes(file, "0123456789");
    const QString fifo = dir.filePath("pipe.png");
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const int writer = ::open(QFile::encodeName(fifo).constData(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    ASSERT_TRUE(QFile::link(file, dir.filePath("link.png")));
    ASSERT_TRUE(QFile::link("/dev/zero", dir.filePath("zero.png")));

    EXPECT_FALSE(RegularFile(fifo).isOpen());
    EXPECT_FALSE(RegularFile(dir.filePath("zero.png")).isOpen());
    EXPECT_FALSE(RegularFile(dir.path()).isOpen());
    EXPECT_FALSE(RegularFile(dir.filePath("missing.png")).isOpen());
    EXPECT_TRUE(RegularFile(dir.filePath("link.png")).isOpen());
    EXPECT_FALSE(RegularFile(dir.filePath("link.png"), RegularFile::Links::refused).isOpen());
    ::close(writer);

    // Kept files read in ordinary blocking mode.
    const RegularFile kept(file);
    ASSERT_TRUE(kept.isOpen());
    EXPECT_EQ(::fcntl(kept.descriptor(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(kept.path(), file);
}

// Readers share the descriptor, each at a position of its own, and later names of the path are
// never read.
TEST(RegularFile, ReadersKeepTheirOwnPositionOnTheOpenedFile)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.png");
    TestSupport::writeBytes(path, "0123456789");
    const RegularFile file(path);
    TestSupport::writeBytes(dir.filePath("b.png"), "other");
    ASSERT_EQ(::rename(QFile::encodeName(dir.filePath("b.png")).constData(),
                       QFile::encodeName(path).constData()),
              0);

    const std::unique_ptr<QIODevice> first = file.device();
    const std::unique_ptr<QIODevice> second = file.device();
    EXPECT_EQ(first->read(4), "0123");
    EXPECT_EQ(second->read(2), "01");
    EXPECT_EQ(first->peek(2), "45");
    EXPECT_TRUE(second->seek(8));
    EXPECT_EQ(first->read(3), "456");
    EXPECT_EQ(second->readAll(), "89");
    EXPECT_EQ(first->size(), 10);

    EXPECT_EQ(file.readAll(10), "0123456789");
    EXPECT_TRUE(file.readAll(9).isEmpty()) << "larger than allowed";
    EXPECT_FALSE(RegularFile(dir.filePath("none")).device()->isOpen());
    EXPECT_TRUE(RegularFile(dir.filePath("none")).readAll(100).isEmpty());
}
