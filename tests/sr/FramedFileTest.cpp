#include "sr/FramedFile.h"

#include "TestSupport.h"

#include <QTemporaryDir>
#include <future>
#include <gtest/gtest.h>

namespace {
constexpr char tag[8] = {'T', 'E', 'S', 'T', 'F', 'R', 'M', '1'};
} // namespace

TEST(FramedFile, ReadsOnlyItsOwnIntactFrames)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("Compiled/a.choice");
    ASSERT_TRUE(sr::writeFramed(path, tag, "verdict", nullptr));
    EXPECT_EQ(sr::readFramed(path, tag, 7), "verdict");
    EXPECT_TRUE(sr::readFramed(path, tag, 6).isEmpty()) << "more than allowed";
    constexpr char other[8] = {'O', 'T', 'H', 'E', 'R', 'F', 'R', 'M'};
    EXPECT_TRUE(sr::readFramed(path, other, 100).isEmpty());
    QByteArray bytes = TestSupport::readBytes(path);
    TestSupport::writeBytes(path, bytes.left(bytes.size() - 1));
    EXPECT_TRUE(sr::readFramed(path, tag, 100).isEmpty()) << "truncated";
    TestSupport::writeBytes(path, bytes.left(10));
    EXPECT_TRUE(sr::readFramed(path, tag, 100).isEmpty()) << "shorter than a frame";
}

// A FIFO where a kept verdict or pipeline cache was must not hold up every model load.
TEST(FramedFile, AFifoInItsPlaceIsNeverWaitedOn)
{
    QTemporaryDir dir;
    TestSupport::Fifos fifos(dir.filePath("spare"));
    for (const bool withWriter : {false, true}) {
        const QString path = dir.filePath(withWriter ? "b.choice" : "a.choice");
        fifos.swapIn(path, withWriter);
        auto read = std::async(std::launch::async, [&] { return sr::readFramed(path, tag, 100); });
        const bool answered = read.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
        fifos.releaseWhile(
            [&] { return read.wait_for(std::chrono::seconds(0)) != std::future_status::ready; });
        EXPECT_TRUE(answered) << "waited on the FIFO, writer: " << withWriter;
        EXPECT_TRUE(read.get().isEmpty());
    }
}
