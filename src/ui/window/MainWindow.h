#pragma once

#include <QMainWindow>
#include <QPointer>
#include <memory>

class AboutWindow;
class AppState;
class BlockedCloseFilter;
class ContentView;
class QAction;
class SettingsWindow;
class UpdateManager;

// The main window "Tolvane": the queue's views in the centre, the File and Help menus, and the
// Settings and About windows it opens.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(AppState& state, UpdateManager& updates, QWidget* parent = nullptr);
    ~MainWindow() override;

    QAction* addImagesAction() const { return m_addImages; }
    QAction* settingsAction() const { return m_settings; }
    QAction* quitAction() const { return m_quit; }
    QAction* checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction* aboutAction() const { return m_about; }
    ContentView* contentView() const;
    // The open Settings window, if any.
    SettingsWindow* settingsWindow() const;

    // The window's first size: its content at 1180 × 740 under the menu bar and the toolbar
    // (`barsHeight` together), the whole window with its `frame` kept within the screen's free
    // area, but never below the content's minimum.
    static QSize initialSize(const QSize& freeArea, int barsHeight, const QMargins& frame);

    // Enables each command from the store's and the updater's flags.
    void updateActions();
    // Opens the Settings window with fresh tabs, or raises the open one.
    void openSettings();
    // Opens "About Tolvane", or raises the open one.
    void openAbout();
    AboutWindow* aboutWindow() const;

    // While a sheet blocks this window (and with it the Quit command), the Quit shortcut typed
    // anywhere and the window manager's close of this window, which Qt drops then, come here:
    // the application is asked to quit, and the answer is true. False, and nothing done, when no
    // sheet blocks the window.
    bool requestQuitUnderSheet();

Q_SIGNALS:
    // "Quit Tolvane" was chosen (from this window or, by its shortcut, from a sheet over it), or
    // the window manager closed the window under a sheet; the application decides whether to go.
    void quitRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* makeContent();
    void buildMenus();
    void placeOnScreen();
    void keepFrameOnScreen();
    void setBlocked(bool blocked);
    QMargins frame() const;
    QRect freeArea() const;

    AppState& m_state;
    UpdateManager& m_updates;
    QAction* m_addImages = nullptr;
    QAction* m_settings = nullptr;
    QAction* m_quit = nullptr;
    QAction* m_checkForUpdates = nullptr;
    QAction* m_about = nullptr;
    QPointer<SettingsWindow> m_settingsWindow;
    QPointer<AboutWindow> m_aboutWindow;
    // Until the window manager has framed the first window, its frame is only guessed.
    bool m_placing = true;
    // While a sheet blocks this window, its Quit shortcut is taken from every window.
    bool m_blocked = false;
    std::unique_ptr<BlockedCloseFilter> m_closeFilter;
};
