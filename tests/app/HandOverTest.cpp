#include "app/HandOver.h"
#include "store/AppState.h"

#include "TestSupport.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>

namespace {

class HandOverTest : public ::testing::Test {
protected:
    QStringList images(const QStringList& names)
    {
        return TestSupport::savedFixtures(m_dir.path(), names);
    }

    QStringList queued() const
    {
        QStringList paths;
        for (const Item& item : m_state.items())
            paths << item.path;
        return paths;
    }

    QTemporaryDir m_dir;
    AppState m_state{std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat)};
    QWidget m_window;
    HandOver m_handOver{m_state, &m_window};
};

} // namespace

TEST_F(HandOverTest, BringsTheWindowForwardAndQueuesTheFiles)
{
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    m_window.showMinimized();
    QSignalSpy imported(&m_state, &AppState::importFinished);
    m_handOver.open(images({"one.png", "two.png"}));
    EXPECT_FALSE(m_window.isMinimized());
    EXPECT_TRUE(m_window.isVisible());
    ASSERT_TRUE(imported.wait(10000));
    EXPECT_EQ(m_state.items().size(), 2);

    // Only the window: nothing is imported.
    m_handOver.open({});
    EXPECT_FALSE(m_state.isImporting());
}

// Three launches at once, as a file manager starts them: the first file's import is still under
// way when the other two arrive.
TEST_F(HandOverTest, FilesHandedOverDuringAnImportAllArriveAfterIt)
{
    const QStringList files = images({"a.png", "b.png", "c.png", "d.png"});
    m_state.add({files[0]});
    ASSERT_TRUE(m_state.isImporting());
    m_handOver.open({files[1]});
    m_handOver.open({files[2], files[0]});
    m_handOver.open({files[3]});
    EXPECT_EQ(m_handOver.waiting(), (QStringList{files[1], files[2], files[0], files[3]}));
    EXPECT_TRUE(m_state.items().isEmpty()) << "the queue does not change during an import";

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return queued().size() == 4 && !m_state.isImporting(); }, 10000));
    EXPECT_EQ(queued(), files) << "each file once, in the order handed over";
    EXPECT_TRUE(m_handOver.waiting().isEmpty());
    EXPECT_FALSE(m_state.notice());
}

// Files handed over during a run join when it ends without hiding how it went; a file handed to
// the idle window is a new addition, which clears the summary as a drop does.
TEST_F(HandOverTest, FilesThatWaitedForARunKeepItsSummary)
{
    const QStringList files = images({"a.png", "b.png", "c.png"});
    QSignalSpy imported(&m_state, &AppState::importFinished);
    m_state.add({files[0]});
    ASSERT_TRUE(imported.wait(10000));
    std::atomic<bool> held{true};
    m_state.setPipelineRun([&held](const QString& path, const JobSettings&, const CancelToken&,
                                   const Pipeline::Progress&) {
        while (held)
            QThread::msleep(2);
        return path;
    });
    m_state.start();
    ASSERT_TRUE(m_state.isRunning());
    m_handOver.open({files[1]});
    EXPECT_EQ(m_handOver.waiting(), QStringList{files[1]});
    held = false;

    ASSERT_TRUE(
        QTest::qWaitFor([&] { return queued().size() == 2 && !m_state.isImporting(); }, 10000));
    EXPECT_EQ(m_state.lastRunSummary(), QStringLiteral("1 saved · Originals preserved"));

    m_handOver.open({files[2]});
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return queued().size() == 3 && !m_state.isImporting(); }, 10000));
    EXPECT_FALSE(m_state.lastRunSummary());
}
