#pragma once

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class AppState;
class QMessageBox;
class QSessionManager;
class QWidget;

// Decides whether the application may end: it asks first while images are processing or a cloud
// request runs, and on a confirmed quit stops the batch so that no half-written file is left.
// Closing the main window is a quit request; answering "Keep Processing" keeps the window.
class AppDelegate : public QObject {
    Q_OBJECT

public:
    // Shows the question; true: quit anyway.
    using Ask = std::function<bool()>;
    using Exit = std::function<void()>;

    explicit AppDelegate(QObject* parent = nullptr);

    // The main window: showing it hands over the store; closing it asks to quit.
    void watch(QWidget* mainWindow, AppState& state);
    AppState* state() const;

    // Replace the question box and the event-loop exit (tests).
    void setAsk(Ask ask) { m_ask = std::move(ask); }
    void setExit(Exit exit) { m_exit = std::move(exit); }

    // True when the application may end now; asks when work would be interrupted.
    bool shouldTerminate();
    // The Quit command: asks if needed, then stops any batch and ends the event loop. False when
    // the user kept the application running.
    bool quit();

    // The files and folders named by launch arguments, made absolute. Options (anything that
    // begins with "-") and empty arguments name none.
    static QStringList launchPaths(const QStringList& arguments);
    // Hands the files and folders named on the command line to the store in one import (a second
    // import would be refused while the first runs).
    static void openPaths(AppState& state, const QStringList& arguments);

    // The question as the user sees it, and running it to its end.
    static QMessageBox* makeQuitBox(QWidget* parent = nullptr);
    static bool askWithBox();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool needsConfirmation() const;
    void commitData(QSessionManager& manager);
    void finish();

    QPointer<AppState> m_state;
    QPointer<QWidget> m_window;
    AppState* m_pendingState = nullptr;
    Ask m_ask;
    Exit m_exit;
    bool m_finishing = false;
    bool m_asking = false;
};
