#include "core/EngineError.h"
#include "store/AppState.h"

#include "TestSupport.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

class BatchRunTest : public ::testing::Test {
protected:
    BatchRunTest()
        : m_state(std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat))
    {
        m_state.setScale(ScaleFactor::x1);
        m_state.setFormat(OutputFormat::png);
    }

    void queue(const QStringList& names)
    {
        QStringList paths;
        for (const QString& name : names) {
            const QString path = m_dir.filePath(name);
            if (!QFile::exists(path))
                TestSupport::alphaFixture().save(path, "png");
            paths << path;
        }
        QSignalSpy finished(&m_state, &AppState::importFinished);
        m_state.add(paths);
        ASSERT_TRUE(finished.wait(10000));
    }
    void runAndWait()
    {
        QSignalSpy finished(&m_state, &AppState::batchFinished);
        m_state.start();
        ASSERT_TRUE(m_state.isRunning());
        ASSERT_TRUE(finished.wait(60000));
    }
    Item::Status::Kind kind(int row) const { return m_state.items()[row].status.kind(); }

    QTemporaryDir m_dir;
    AppState m_state;
};

} // namespace

TEST_F(BatchRunTest, MixedQueueWithAFailure)
{
    queue({"a.png", "b.png"});
    // A readable header over too little pixel data.
    TestSupport::writeBytes(m_dir.filePath("broken.png"), TestSupport::forgedPng(200, 200));
    queue({"broken.png", "c.png"});
    const QByteArray original = TestSupport::readBytes(m_dir.filePath("a.png"));
    runAndWait();
    EXPECT_EQ(m_state.lastRunSummary(), QStringLiteral("3 saved · 1 need attention"));
    EXPECT_EQ(m_state.items()[2].status, Item::Status::failed("Can't read broken.png"));
    EXPECT_EQ(m_state.items()[0].outputPath, m_dir.filePath("a 2.png"));
    EXPECT_EQ(m_state.items()[0].outputPixelSize, QSize(24, 18));
    EXPECT_EQ(kind(3), Item::Status::Kind::done);
    EXPECT_EQ(TestSupport::readBytes(m_dir.filePath("a.png")), original);
    EXPECT_FALSE(m_state.isRunning());
    EXPECT_FALSE(m_state.token());
}

TEST_F(BatchRunTest, FinishedQueueRunsAgainUnderNewNames)
{
    queue({"a.png", "b.png"});
    runAndWait();
    EXPECT_EQ(m_state.lastRunSummary(), QStringLiteral("2 saved · Originals preserved"));
    runAndWait();
    EXPECT_EQ(m_state.items()[0].outputPath, m_dir.filePath("a 3.png"));
    EXPECT_EQ(m_state.items()[1].outputPath, m_dir.filePath("b 3.png"));
    EXPECT_TRUE(QFile::exists(m_dir.filePath("a 2.png")));
}

TEST_F(BatchRunTest, StopInTheMiddleKeepsTheRestPending)
{
    queue({"1.png", "2.png", "3.png", "4.png", "5.png"});
    m_state.setPipelineRun([](const QString& path, const JobSettings&, const CancelToken& token,
                              const Pipeline::Progress& progress) -> QString {
        if (!path.endsWith("2.png"))
            return path;
        progress(0.25);
        while (!token.isCancelled())
            QThread::msleep(2);
        throw UpscaleError::cancelled();
    });
    QSignalSpy finished(&m_state, &AppState::batchFinished);
    m_state.start();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return m_state.items()[1].status == Item::Status::working(0.25); }, 5000));
    m_state.token()->cancel();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(kind(0), Item::Status::Kind::done);
    for (int row = 1; row < 5; ++row)
        EXPECT_EQ(kind(row), Item::Status::Kind::pending) << row;
    EXPECT_EQ(m_state.lastRunSummary(),
              QStringLiteral("Stopped. Finished images have been saved; the rest can be resumed."));
    EXPECT_FALSE(m_state.isRunning());
    EXPECT_FALSE(m_state.token());

    // Resuming runs only what is not done.
    QStringList seen;
    m_state.setPipelineRun([&seen](const QString& path, const JobSettings&, const CancelToken&,
                                   const Pipeline::Progress&) {
        seen << QFileInfo(path).fileName();
        return path;
    });
    runAndWait();
    EXPECT_EQ(seen, (QStringList{"2.png", "3.png", "4.png", "5.png"}));
}

TEST_F(BatchRunTest, ForeignExceptionsFailTheItemAndTheBatchGoesOn)
{
    queue({"a.png", "b.png", "c.png"});
    m_state.setPipelineRun([](const QString& path, const JobSettings&, const CancelToken&,
                              const Pipeline::Progress&) -> QString {
        if (path.endsWith("a.png"))
            throw std::bad_alloc();
        if (path.endsWith("b.png"))
            throw std::runtime_error("vector::_M_range_check: __n (which is 7) >= this->size()");
        return path;
    });
    runAndWait();
    EXPECT_EQ(m_state.items()[0].status, Item::Status::failed("Not enough memory for this size"));
    EXPECT_EQ(kind(1), Item::Status::Kind::failed);
    EXPECT_FALSE(m_state.items()[1].status.message().contains("vector"));
    EXPECT_EQ(kind(2), Item::Status::Kind::done);
    EXPECT_EQ(m_state.lastRunSummary(), QStringLiteral("1 saved · 2 need attention"));
}

TEST_F(BatchRunTest, StartIsRefusedWhenItCannotRun)
{
    m_state.start();
    EXPECT_FALSE(m_state.isRunning()) << "empty queue";
    queue({"a.png"});
    m_state.setCloudRunning(true);
    m_state.start();
    EXPECT_FALSE(m_state.isRunning());
    EXPECT_FALSE(m_state.token());
    m_state.setCloudRunning(false);

    m_state.setPipelineRun([](const QString& path, const JobSettings&, const CancelToken& token,
                              const Pipeline::Progress&) -> QString {
        while (!token.isCancelled())
            QThread::msleep(2);
        QThread::msleep(50);
        throw UpscaleError::cancelled();
        return path;
    });
    m_state.start();
    const CancelTokenPtr first = m_state.token();
    m_state.start();
    EXPECT_EQ(m_state.token(), first) << "a running batch is not restarted";
    m_state.remove(m_state.items()[0].id);
    m_state.clearAll();
    EXPECT_EQ(m_state.items().size(), 1);

    // Quitting: the worker is stopped and waited for.
    EXPECT_TRUE(m_state.stopAndWait(5000));
    EXPECT_TRUE(first->isCancelled());
}

TEST_F(BatchRunTest, ShippedIllustrationModelInEveryFormat)
{
    queue({"art.png"});
    m_state.setModel(SRModel::illustration);
    m_state.setScale(ScaleFactor::x4);
    m_state.setOutputFolder(m_dir.filePath("out"));
    QDir().mkpath(m_dir.filePath("out"));
    const QByteArray original = TestSupport::readBytes(m_dir.filePath("art.png"));
    QStringList written;
    for (OutputFormat format : allOutputFormats()) {
        m_state.setFormat(format);
        runAndWait();
        ASSERT_EQ(kind(0), Item::Status::Kind::done)
            << m_state.items()[0].status.message().toStdString();
        const Item& item = m_state.items()[0];
        written << QFileInfo(item.outputPath).fileName();
        EXPECT_EQ(item.outputPixelSize, format == OutputFormat::svg ? QSize(24, 18) : QSize(96, 72))
            << rawValue(format).toStdString();
    }
    EXPECT_EQ(written, (QStringList{"art_4x.png", "art_4x 2.png", "art_4x.jpg", "art_4x.webp",
                                    "art_4x.heic", "art_4x.tiff", "art.svg"}));
    EXPECT_EQ(TestSupport::readBytes(m_dir.filePath("art.png")), original);
}

TEST_F(BatchRunTest, AFullDiskFailsTheItem)
{
    TestSupport::noiseFixture(200, 150, true).save(m_dir.filePath("a.png"));
    queue({"a.png"});
    {
        const TestSupport::FileSizeLimit limit(4096);
        runAndWait();
    }
    EXPECT_EQ(m_state.items()[0].status, Item::Status::failed("Can't write a 2.png"));
    EXPECT_EQ(m_state.lastRunSummary(), QStringLiteral("0 saved · 1 need attention"));
    EXPECT_EQ(TestSupport::entries(m_dir.path()), (QStringList{"a.png", "s.ini"}));
}

// A quit whose bounded wait ran out destroys the store while the worker still reports progress.
TEST_F(BatchRunTest, ProgressAfterTheStoreIsGoneIsHarmless)
{
    auto state = std::make_unique<AppState>(
        std::make_unique<QSettings>(m_dir.filePath("t.ini"), QSettings::IniFormat));
    state->setScale(ScaleFactor::x1);
    Pipeline::Progress saved;
    state->setPipelineRun([&saved](const QString& path, const JobSettings&, const CancelToken&,
                                   const Pipeline::Progress& progress) {
        saved = progress;
        return path;
    });
    QSignalSpy imported(state.get(), &AppState::importFinished);
    TestSupport::alphaFixture().save(m_dir.filePath("a.png"));
    state->add({m_dir.filePath("a.png")});
    ASSERT_TRUE(imported.wait(10000));
    QSignalSpy finished(state.get(), &AppState::batchFinished);
    state->start();
    ASSERT_TRUE(finished.wait(10000));
    ASSERT_TRUE(saved);

    std::atomic<bool> stop{false};
    std::thread worker([&] {
        while (!stop)
            saved(0.5);
    });
    QThread::msleep(20);
    state.reset();
    QThread::msleep(20);
    stop = true;
    worker.join();
    QTest::qWait(20); // the reports still queued find no store
    SUCCEED();
}

// A queued picture replaced by a FIFO (a synced or hostile folder) is never waited on: Stop ends
// the batch at once, and a run gives that item the usual failure and goes on.
TEST_F(BatchRunTest, AFifoWhereAQueuedPictureWasNeitherHangsNorOutlivesStop)
{
    queue({"a.png", "b.png"});
    TestSupport::Fifos fifos(m_dir.filePath("spare"));
    fifos.swapIn(m_dir.filePath("a.png"));
    QSignalSpy finished(&m_state, &AppState::batchFinished);
    m_state.start();
    QTest::qWait(200);
    const bool stopped = m_state.stopAndWait(5000);
    fifos.releaseWhile([this] { return m_state.isRunning(); });
    EXPECT_TRUE(stopped) << "the worker waits on the FIFO";
    ASSERT_FALSE(m_state.isRunning());
    EXPECT_FALSE(m_state.items()[0].status.is(Item::Status::Kind::working));

    runAndWait();
    EXPECT_EQ(m_state.items()[0].status, Item::Status::failed("Can't read a.png"));
    EXPECT_EQ(kind(1), Item::Status::Kind::done);
    EXPECT_EQ(m_state.lastRunSummary(), QStringLiteral("1 saved · 1 need attention"));
}
