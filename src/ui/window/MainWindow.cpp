#include "MainWindow.h"

#include "kit/TolvaneTheme.h"
#include "settings/SettingsWindow.h"
#include "store/AppState.h"
#include "updates/UpdateManager.h"

#include <QAction>
#include <QGuiApplication>
#include <QLabel>
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
}

// The window's one central widget; the queue's views replace it here.
QWidget* MainWindow::makeContent()
{
    auto* placeholder = new QLabel(QStringLiteral("Tolvane"));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setFont(TolvaneTheme::displayFont(56));
    QPalette palette = placeholder->palette();
    palette.setColor(QPalette::WindowText, TolvaneTheme::muted());
    placeholder->setPalette(palette);
    placeholder->setAutoFillBackground(true);
    return placeholder;
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
    m_checkForUpdates = help->addAction(QStringLiteral("Check for Updates…"));
    connect(m_checkForUpdates, &QAction::triggered, &m_updates, &UpdateManager::checkForUpdates);
}

QSize MainWindow::initialSize(const QSize& freeArea, int menuBarHeight)
{
    const QSize menu(0, menuBarHeight);
    return (contentDefault + menu).boundedTo(freeArea).expandedTo(contentMinimum + menu);
}

void MainWindow::placeOnScreen()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect free = screen ? screen->availableGeometry() : QRect(0, 0, 4096, 4096);
    resize(initialSize(free.size(), menuBar()->sizeHint().height()));
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
