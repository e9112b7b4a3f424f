#include "app/AppDelegate.h"
#include "core/EngineError.h"
#include "store/AppState.h"

#include "TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUuid>
#include <QWidget>
#include <atomic>
#include <gtest/gtest.h>

namespace {

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest()
        : m_state(std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat))
    {
        m_delegate.setAsk([this] {
            ++m_asked;
            return m_answer;
        });
        m_delegate.setExit([this] { ++m_exits; });
    }

    void showWindow()
    {
        m_delegate.watch(&m_window, m_state);
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    }

    QStringList images(const QStringList& names)
    {
        return TestSupport::savedFixtures(m_dir.path(), names);
    }

    QTemporaryDir m_dir;
    AppState m_state;
    QWidget m_window;
    AppDelegate m_delegate;
    int m_asked = 0;
    int m_exits = 0;
    bool m_answer = false;
};

// Acts on the modal box once it is up.
void whenBoxIsUp(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act] {
        if (QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 2000))
            act(QApplication::activeModalWidget());
    });
}

void pressOnBox(Qt::Key key)
{
    whenBoxIsUp([key](QWidget* box) { QTest::keyClick(box, key); });
}

void clickOnBox(const QString& title)
{
    whenBoxIsUp([title](QWidget* box) {
        for (auto* button : box->findChildren<QPushButton*>())
            if (button->text() == title)
                button->click();
    });
}

} // namespace

TEST_F(AppDelegateTest, QuitsWithoutAskingWhenIdleOrWithoutAStore)
{
    // No window shown yet: the delegate knows no store, even one that is busy.
    m_delegate.watch(&m_window, m_state);
    m_state.setCloudRunning(true);
    EXPECT_FALSE(m_delegate.state());
    EXPECT_TRUE(m_delegate.shouldTerminate());

    m_state.setCloudRunning(false);
    showWindow();
    EXPECT_EQ(m_delegate.state(), &m_state);
    m_delegate.quit();
    EXPECT_EQ(m_asked, 0);
    EXPECT_EQ(m_exits, 1);
}

TEST_F(AppDelegateTest, AsksWhileCloudWorkRunsAndKeepsGoingOnKeep)
{
    showWindow();
    m_state.setCloudRunning(true);
    EXPECT_FALSE(m_delegate.quit());
    EXPECT_EQ(m_asked, 1);
    EXPECT_EQ(m_exits, 0);

    m_answer = true;
    EXPECT_TRUE(m_delegate.quit());
    EXPECT_EQ(m_asked, 2);
    EXPECT_EQ(m_exits, 1);
}

// With the question open, a sheet's Quit shortcut or the window's close button may ask again:
// that request is the open question's, which alone decides.
TEST_F(AppDelegateTest, ARequestWhileTheQuestionIsOpenAsksNothingMore)
{
    showWindow();
    m_state.setCloudRunning(true);
    std::optional<bool> inner;
    bool again = false;
    m_delegate.setAsk([&] {
        ++m_asked;
        if (!std::exchange(again, true))
            inner = m_delegate.quit();
        return true;
    });
    EXPECT_TRUE(m_delegate.quit());
    EXPECT_EQ(m_asked, 1);
    EXPECT_EQ(inner, false);
    EXPECT_EQ(m_exits, 1);
}

TEST_F(AppDelegateTest, ClosingTheWindowAsksAndKeepKeepsTheWindow)
{
    showWindow();
    m_state.setCloudRunning(true);
    m_window.close();
    EXPECT_EQ(m_asked, 1);
    EXPECT_TRUE(m_window.isVisible());
    EXPECT_EQ(m_exits, 0);

    m_answer = true;
    m_window.close();
    EXPECT_FALSE(m_window.isVisible());
    EXPECT_EQ(m_exits, 1);
}

TEST_F(AppDelegateTest, ConfirmedQuitMidBatchLeavesNoHiddenFile)
{
    // A slow pipeline that writes its hidden file first and honours the token like the real one.
    std::atomic<bool> writing = false;
    m_state.setPipelineRun([&](const QString& path, const JobSettings&, const CancelToken& token,
                               const Pipeline::Progress&) -> QString {
        const QString hidden = QFileInfo(path).dir().filePath(
            ".tolvane-" + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper() + ".png");
        TestSupport::writeBytes(hidden, "partial");
        writing = true;
        for (int i = 0; i < 1000 && !token.isCancelled(); ++i)
            QThread::msleep(10);
        QFile::remove(hidden);
        throw UpscaleError::cancelled();
    });
    QSignalSpy imported(&m_state, &AppState::importFinished);
    AppDelegate::openPaths(m_state, images({"a.png", "b.png"}));
    ASSERT_TRUE(imported.wait(10000));
    ASSERT_EQ(m_state.items().size(), 2);
    showWindow();
    m_state.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return writing.load(); }, 5000));

    m_answer = true;
    m_delegate.quit();
    EXPECT_EQ(m_asked, 1);
    EXPECT_EQ(m_exits, 1);
    // Nothing half-written remains by the time the event loop is told to end.
    for (const QString& name : TestSupport::entries(m_dir.path()))
        EXPECT_FALSE(name.startsWith(".tolvane-")) << name.toStdString();
}

TEST_F(AppDelegateTest, PathArgumentsArriveInOneImport)
{
    const QStringList paths = images({"one.png", "two.png"});
    QSignalSpy imported(&m_state, &AppState::importFinished);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(m_dir.path());
    AppDelegate::openPaths(m_state, {paths[0], QStringLiteral("two.png"), QString()});
    QDir::setCurrent(previous);
    ASSERT_TRUE(imported.wait(10000));
    EXPECT_EQ(imported.count(), 1);
    ASSERT_EQ(m_state.items().size(), 2);
    EXPECT_EQ(m_state.items()[1].path.toStdString(), paths[1].toStdString());
}

TEST_F(AppDelegateTest, OptionsAreNotFiles)
{
    AppDelegate::openPaths(m_state, {QStringLiteral("--foo"), QStringLiteral("-x")});
    EXPECT_FALSE(m_state.isImporting());
    QTest::qWait(100);
    EXPECT_FALSE(m_state.notice()) << "no \"Couldn't add images\" for an option";
    EXPECT_EQ(AppDelegate::launchPaths({QStringLiteral("--foo"), QStringLiteral("/a/b.png")}),
              QStringList{QStringLiteral("/a/b.png")});
}

TEST(QuitBox, ShowsTheQuestionWithKeepAsDefaultAndEscape)
{
    std::unique_ptr<QMessageBox> box(AppDelegate::makeQuitBox());
    EXPECT_EQ(box->text(), QStringLiteral("Images are still processing"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("Quitting can interrupt processing. Cloud requests may still "
                             "complete and use credits. Images already saved will be kept."));
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("Keep Processing"));
    EXPECT_EQ(box->escapeButton(), box->defaultButton());
    EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);

    pressOnBox(Qt::Key_Escape);
    EXPECT_FALSE(AppDelegate::askWithBox());
    pressOnBox(Qt::Key_Return);
    EXPECT_FALSE(AppDelegate::askWithBox());
    clickOnBox(QStringLiteral("Quit Tolvane"));
    EXPECT_TRUE(AppDelegate::askWithBox());
}

// A confirmed quit ends the process even while the busy sheet refuses to close, by the Quit
// command and by closing the window, for a cloud request on either route, a batch, or both.
TEST(BusyQuit, ConfirmedQuitEndsTheProcess)
{
    const QList<QStringList> cases{{"service", "command"}, {"ownkey", "close"},
                                   {"batch", "command"},   {"both", "close"},
                                   {"both", "command"},    {"service", "close"}};
    for (const QStringList& arguments : cases) {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(TOLVANE_BUSY_QUIT), arguments);
        ASSERT_TRUE(process.waitForStarted(10000));
        const bool ended = process.waitForFinished(30000);
        if (!ended) {
            process.kill();
            process.waitForFinished(5000);
        }
        const QString context = arguments.join(u' ') + u": "_qs + process.readAll();
        EXPECT_TRUE(ended) << context.toStdString();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << context.toStdString();
        EXPECT_EQ(process.exitCode(), 0) << context.toStdString();
    }
}
