#include "MainWindow.h"

#include "AboutWindow.h"
#include "BlockedCloseFilter.h"
#include "ContentView.h"
#include "kit/ScreenFit.h"
#include "settings/SettingsWindow.h"
#include "store/AppState.h"
#include "updates/UpdateManager.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QScreen>
#include <QWindow>

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

    // The window manager's close button is Qt's to handle unless a sheet blocks the window.
    m_closeFilter = BlockedCloseFilter::forX11(this, [this] { return requestQuitUnderSheet(); });
    if (m_closeFilter)
        QCoreApplication::instance()->installNativeEventFilter(m_closeFilter.get());
}

MainWindow::~MainWindow()
{
    QCoreApplication::instance()->removeEventFilter(this);
    delete m_settingsWindow;
    delete m_aboutWindow;
}

// A window-modal sheet blocks this window, its menus and its shortcuts; quitting must still work.
void MainWindow::setBlocked(bool blocked)
{
    if (blocked == m_blocked)
        return;
    m_blocked = blocked;
    if (blocked)
        QCoreApplication::instance()->installEventFilter(this);
    else
        QCoreApplication::instance()->removeEventFilter(this);
}

// Installed only while blocked: the Quit shortcut pressed in a sheet (or any other window).
bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress &&
        QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()) == m_quit->shortcut() &&
        requestQuitUnderSheet())
        return true;
    return QMainWindow::eventFilter(watched, event);
}

// Asked once the key press or the window manager's message that asked has been handled.
bool MainWindow::requestQuitUnderSheet()
{
    if (!m_blocked)
        return false;
    QMetaObject::invokeMethod(this, &MainWindow::quitRequested, Qt::QueuedConnection);
    return true;
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

QSize MainWindow::initialSize(const QSize& freeArea, int barsHeight, const QMargins& frame)
{
    const QSize bars(0, barsHeight);
    return (contentDefault + bars)
        .boundedTo(freeArea.shrunkBy(frame))
        .expandedTo(contentMinimum + bars);
}

QMargins MainWindow::frame() const
{
    return windowHandle() ? windowHandle()->frameMargins() : QMargins();
}

QRect MainWindow::freeArea() const
{
    const QScreen* screen =
        windowHandle() ? windowHandle()->screen() : QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 4096, 4096);
}

// Centred, the frame included; move() places the frame's corner.
void MainWindow::placeOnScreen()
{
    const QRect free = freeArea();
    const int bars = menuBar()->sizeHint().height() + contentView()->toolbar()->sizeHint().height();
    resize(initialSize(free.size(), bars, ScreenFit::typicalFrame));
    QRect framed = rect().marginsAdded(ScreenFit::typicalFrame);
    framed.moveCenter(free.center());
    move(framed.topLeft());
}

// Once the real frame is known, a first window that reaches past the free area is made to fit,
// so that the status line never hides below a small screen's edge.
void MainWindow::keepFrameOnScreen()
{
    const QMargins margins = frame();
    if (margins.isNull())
        return;
    m_placing = false;
    const QRect free = freeArea();
    const QSize size =
        this->size().boundedTo(free.size().shrunkBy(margins)).expandedTo(minimumSizeHint());
    if (size != this->size())
        resize(size);
    const QRect framed = ScreenFit::keptInside(QRect(pos(), size.grownBy(margins)), free);
    if (framed.topLeft() != pos())
        move(framed.topLeft());
}

bool MainWindow::event(QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowBlocked || type == QEvent::WindowUnblocked)
        setBlocked(type == QEvent::WindowBlocked);
    const bool handled = QMainWindow::event(event);
    if (m_placing && (type == QEvent::Show || type == QEvent::Move || type == QEvent::Resize))
        keepFrameOnScreen();
    return handled;
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
        // Over the window it came from, framed the way this one is.
        m_settingsWindow->adjustSize();
        const QMargins margins = frame().isNull() ? ScreenFit::typicalFrame : frame();
        QRect framed(QPoint(), m_settingsWindow->size().grownBy(margins));
        framed.moveCenter(frameGeometry().center());
        m_settingsWindow->move(ScreenFit::keptInside(framed, freeArea()).topLeft());
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
