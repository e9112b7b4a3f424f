#include "MainWindow.h"

#include "AboutWindow.h"
#include "ContentView.h"
#include "settings/SettingsWindow.h"
#include "store/AppState.h"
#include "updates/UpdateManager.h"

#include <QAction>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>

namespace {

const QSize contentMinimum(960, 620);
const QSize contentDefault(1180, 740);

} // namespace

MainWindow::MainWindow(AppState& state, UpdateManager& updates, QWidget* parent)
    : QMainWindow(parent), m_state(state), m_updates(updates)
{
    setWindowTitle(QStringLiteral("Tolvane"));
    QWidget* content = makeContent();
    content->setMinimumSize(contentMinimum);
    setCentralWidget(content);
    buildMenus();
    placeOnScreen();

    connect(&m_state, &AppState::isRunningChanged, this, &MainWindow::updateActions);
    connect(&m_state, &AppState::isImportingChanged, this, &MainWindow::updateActions);
    connect(&m_updates, &UpdateManager::canCheckChanged, this, &MainWindow::updateActions);
    updateActions();
}

MainWindow::~MainWindow()
{
    delete m_settingsWindow;
    delete m_aboutWindow;
}

// The window's one central widget, and the toolbar that comes with it.
QWidget* MainWindow::makeContent()
{
    auto* content = new ContentView(m_state);
    addToolBar(content->toolbar());
    return content;
}

void MainWindow::buildMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_addImages = file->addAction(QStringLiteral("Add Images…"));
    m_addImages->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    connect(m_addImages, &QAction::triggered, &m_state, &AppState::openPanel);
    file->addSeparator();
    m_settings = file->addAction(QStringLiteral("Settings…"));
    m_settings->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_settings->setMenuRole(QAction::PreferencesRole);
    connect(m_settings, &QAction::triggered, this, &MainWindow::openSettings);
    file->addSeparator();
    m_quit = file->addAction(QStringLiteral("Quit Tolvane"));
    m_quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    m_quit->setMenuRole(QAction::QuitRole);
    // Quitting and the settings also answer from the Settings window.
    m_settings->setShortcutContext(Qt::ApplicationShortcut);
    m_quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(m_quit, &QAction::triggered, this, &MainWindow::quitRequested);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    m_about = help->addAction(QStringLiteral("About Tolvane"));
    m_about->setMenuRole(QAction::AboutRole);
    connect(m_about, &QAction::triggered, this, &MainWindow::openAbout);
    m_checkForUpdates = help->addAction(QStringLiteral("Check for Updates…"));
    connect(m_checkForUpdates, &QAction::triggered, &m_updates, &UpdateManager::checkForUpdates);
}

QSize MainWindow::initialSize(const QSize& freeArea, int barsHeight)
{
    const QSize bars(0, barsHeight);
    return (contentDefault + bars).boundedTo(freeArea).expandedTo(contentMinimum + bars);
}

void MainWindow::placeOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 4096, 4096);
    const int bars = menuBar()->sizeHint().height() + contentView()->toolbar()->sizeHint().height();
    resize(initialSize(free.size(), bars));
    move(free.center() - rect().center());
}

void MainWindow::updateActions()
{
    const bool running = m_state.isRunning();
    m_addImages->setEnabled(!running && !m_state.isImporting());
    m_checkForUpdates->setEnabled(m_updates.canCheck() && !running);
}

SettingsWindow* MainWindow::settingsWindow() const
{
    return m_settingsWindow;
}

void MainWindow::openSettings()
{
    if (!m_settingsWindow) {
        m_settingsWindow = new SettingsWindow(SettingsWindow::standardTabs(m_updates));
        m_settingsWindow->setWindowIcon(windowIcon());
    }
    m_settingsWindow->show();
    m_settingsWindow->raise();
    m_settingsWindow->activateWindow();
}

void MainWindow::openAbout()
{
    if (!m_aboutWindow) {
        m_aboutWindow = new AboutWindow;
        m_aboutWindow->setAttribute(Qt::WA_DeleteOnClose);
        m_aboutWindow->setWindowIcon(windowIcon());
    }
    m_aboutWindow->show();
    m_aboutWindow->raise();
    m_aboutWindow->activateWindow();
}

AboutWindow* MainWindow::aboutWindow() const
{
    return m_aboutWindow;
}

ContentView* MainWindow::contentView() const
{
    return static_cast<ContentView*>(centralWidget());
}
