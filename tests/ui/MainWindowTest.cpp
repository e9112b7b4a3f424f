#include "ui/window/MainWindow.h"
#include "cloud/InMemorySecretStore.h"
#include "cloud/KeychainStore.h"
#include "settings/SettingsWindow.h"
#include "store/AppState.h"
#include "ui/window/AboutWindow.h"
#include "ui/window/ContentView.h"
#include "ui/window/StatusLine.h"
#include "updates/FakeUpdaterController.h"
#include "updates/UpdateManager.h"

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
        : m_state(std::make_unique<QSettings>(m_dir.filePath("s.ini"), QSettings::IniFormat)),
          m_window(m_state, m_updates)
    {
        // The Settings window's key view reads the keyring.
        KeychainStore::setStore(std::make_shared<InMemorySecretStore>());
    }

    // Titles of a menu's entries, separators as "-".
    QStringList entries(int menu) const
    {
        QStringList titles;
        for (QAction* action : m_window.menuBar()->actions().at(menu)->menu()->actions())
            titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return titles;
    }

    QTemporaryDir m_dir;
    AppState m_state;
    UpdateManager m_updates{{}, [] { return std::make_unique<FakeUpdaterController>(); }};
    MainWindow m_window;
};

} // namespace

TEST_F(MainWindowTest, MenusHoldTheCommandsAndNothingElse)
{
    EXPECT_EQ(m_window.windowTitle(), QStringLiteral("Tolvane"));
    QStringList menus;
    for (QAction* action : m_window.menuBar()->actions())
        menus << action->text().remove(u'&');
    EXPECT_EQ(menus, QStringList({"File", "Help"}));
    EXPECT_EQ(entries(0), QStringList({"Add Images…", "-", "Settings…", "-", "Quit Tolvane"}));
    EXPECT_EQ(entries(1), QStringList({"About Tolvane", "Check for Updates…"}));
    EXPECT_EQ(m_window.addImagesAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    EXPECT_EQ(m_window.settingsAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(m_window.quitAction()->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_TRUE(m_window.checkForUpdatesAction()->shortcut().isEmpty());
}

TEST_F(MainWindowTest, ContentOpensAtItsDefaultSizeAndKeepsItsMinimum)
{
    EXPECT_EQ(MainWindow::initialSize({2560, 1400}, 25, {}), QSize(1180, 765));
    EXPECT_EQ(MainWindow::initialSize({1100, 700}, 25, {}), QSize(1100, 700));
    EXPECT_EQ(MainWindow::initialSize({800, 600}, 25, {}), QSize(960, 645));
    // The frame is part of what must fit.
    EXPECT_EQ(MainWindow::initialSize({1366, 768}, 60, {2, 30, 2, 2}), QSize(1180, 736));
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    const int bars = m_window.menuBar()->height() + m_window.contentView()->toolbar()->height();
    m_window.resize(1180, 740 + bars);
    QTest::qWait(20);
    EXPECT_EQ(m_window.centralWidget()->size(), QSize(1180, 740));
    m_window.resize(400, 300);
    QTest::qWait(20);
    EXPECT_EQ(m_window.centralWidget()->size(), QSize(960, 620));
}

TEST_F(MainWindowTest, ContentAndItsToolbarAreInstalled)
{
    ContentView* content = m_window.contentView();
    ASSERT_NE(content, nullptr);
    QToolBar* toolbar = content->toolbar();
    EXPECT_EQ(toolbar->parentWidget(), &m_window);
    EXPECT_EQ(m_window.toolBarArea(toolbar), Qt::TopToolBarArea);
    EXPECT_FALSE(toolbar->isMovable());
    QStringList titles;
    for (QAction* action : toolbar->actions())
        titles << action->text();
    EXPECT_EQ(titles, (QStringList{"AI Studio", "Add", "Reset", "Clear"}));
}

TEST_F(MainWindowTest, CommandsFollowTheFlags)
{
    auto enabled = [&] {
        return std::pair{m_window.addImagesAction()->isEnabled(),
                         m_window.checkForUpdatesAction()->isEnabled()};
    };
    // Unconfigured updates never allow a check.
    EXPECT_EQ(enabled(), std::pair(true, false));

    // While importing only "Add Images…" is disabled; the import ends on its own.
    QSignalSpy finished(&m_state, &AppState::importFinished);
    m_state.add({m_dir.filePath("missing.png")});
    EXPECT_TRUE(m_state.isImporting());
    EXPECT_EQ(enabled(), std::pair(false, false));
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_EQ(enabled(), std::pair(true, false));
    EXPECT_TRUE(m_window.settingsAction()->isEnabled());
    EXPECT_TRUE(m_window.quitAction()->isEnabled());
}

// The studio sheet blocks the window, its menus and its shortcuts; the Quit shortcut typed in the
// sheet and the window manager's close of the window still ask the application, once each.
TEST_F(MainWindowTest, QuitIsLeftToTheApplicationAlsoFromUnderASheet)
{
    QSignalSpy quit(&m_window, &MainWindow::quitRequested);
    m_window.quitAction()->trigger();
    EXPECT_EQ(quit.count(), 1);
    m_window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
    QTest::keyClick(&m_window, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(quit.count(), 2);
    EXPECT_FALSE(m_window.requestQuitUnderSheet()) << "closing an unblocked window is Qt's";

    QPointer<QDialog> sheet;
    m_window.contentView()->setStudioFactory([&](AppState&, QWidget* parent) {
        sheet = new QDialog(parent);
        new QLineEdit(sheet);
        return sheet.data();
    });
    m_window.contentView()->toolbar()->actions().first()->trigger();
    ASSERT_TRUE(sheet);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    ASSERT_EQ(sheet->windowModality(), Qt::WindowModal);
    QTest::keyClick(sheet->findChild<QLineEdit*>(), Qt::Key_Q, Qt::ControlModifier);
    ASSERT_TRUE(QTest::qWaitFor([&] { return quit.count() == 3; }, 2000));
    EXPECT_TRUE(m_window.requestQuitUnderSheet());
    ASSERT_TRUE(QTest::qWaitFor([&] { return quit.count() == 4; }, 2000));
    QTest::keyClick(sheet->findChild<QLineEdit*>(), Qt::Key_W, Qt::ControlModifier);
    QTest::qWait(20);
    EXPECT_EQ(quit.count(), 4) << "only the Quit shortcut";

    sheet->reject();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }, 2000));
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    QTest::keyClick(&m_window, Qt::Key_Q, Qt::ControlModifier);
    QTest::qWait(20);
    EXPECT_EQ(quit.count(), 5) << "once, by the menu's shortcut";
    EXPECT_FALSE(m_window.requestQuitUnderSheet());
}

TEST_F(MainWindowTest, AboutShowsTheNameTheVersionAndTheNotices)
{
    m_window.aboutAction()->trigger();
    QPointer<AboutWindow> about = m_window.aboutWindow();
    ASSERT_TRUE(about);
    EXPECT_TRUE(about->isVisible());
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Tolvane"));
    QStringList texts;
    for (QLabel* label : about->findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("Tolvane")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Version " TOLVANE_VERSION)));
    EXPECT_TRUE(about->notices().startsWith(QStringLiteral("Third-party notices for Tolvane")));
    m_window.openAbout();
    EXPECT_EQ(m_window.aboutWindow(), about) << "raised, not made again";

    AboutWindow bare({}, m_dir.filePath("missing.txt"));
    EXPECT_TRUE(bare.notices().isEmpty());
}

TEST_F(MainWindowTest, SettingsOpensFreshOrRaisesTheOpenWindow)
{
    m_window.openSettings();
    QPointer<SettingsWindow> first = m_window.settingsWindow();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    first->tabs()->setCurrentIndex(1);
    QWidget* firstPage = first->tabs()->widget(0);

    m_window.openSettings();
    EXPECT_EQ(m_window.settingsWindow(), first);
    EXPECT_EQ(first->tabs()->widget(0), firstPage);

    first->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first.isNull(); }, 1000));
    m_window.openSettings();
    ASSERT_TRUE(m_window.settingsWindow());
    EXPECT_EQ(m_window.settingsWindow()->tabs()->currentIndex(), 0);
}

// A laptop's 1366 × 768 screen whose window frames are known (the entry ui_laptop_screen).
class LaptopScreen : public MainWindowTest {
protected:
    void SetUp() override
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (screen->geometry().size() != QSize(1366, 768))
            GTEST_SKIP() << "needs the 1366 x 768 screen of its own test entry";
        m_window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&m_window));
        m_free = screen->availableGeometry();
    }

    QRect m_free;
};

TEST_F(LaptopScreen, TheFirstWindowFitsWithItsFrameAndItsStatusLine)
{
    EXPECT_FALSE(m_window.windowHandle()->frameMargins().isNull());
    EXPECT_TRUE(m_free.contains(m_window.frameGeometry()))
        << m_window.frameGeometry().bottom() << " past " << m_free.bottom();
    const StatusLine* status = m_window.contentView()->findChild<StatusLine*>();
    ASSERT_TRUE(status);
    const QRect shown(status->mapToGlobal(QPoint(0, 0)), status->size());
    EXPECT_TRUE(m_free.contains(shown));

    // A frame taller than guessed: the window is made to fit once the frame is known.
    MainWindow tall(m_state, m_updates);
    tall.resize(m_free.size());
    tall.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&tall));
    EXPECT_TRUE(m_free.contains(tall.frameGeometry()));
}

TEST_F(LaptopScreen, SettingsOpensCentredOnTheMainWindow)
{
    m_window.openSettings();
    SettingsWindow* settings = m_window.settingsWindow();
    ASSERT_TRUE(settings);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(settings));
    const QPoint offset = settings->frameGeometry().center() - m_window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << ", " << offset.y();
    EXPECT_TRUE(m_free.contains(settings->frameGeometry()));
}
