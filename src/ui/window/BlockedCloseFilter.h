#pragma once

#include <QAbstractNativeEventFilter>
#include <QtGlobal>
#include <functional>
#include <memory>

class QWidget;

// The window manager's close button of a window that a sheet blocks. Qt drops that request (a
// blocked window takes no input), so the button would do nothing while a sheet is open; this
// filter hands it to `requested` instead. Only X11 tells which window the request is for, so
// elsewhere there is no filter.
class BlockedCloseFilter : public QAbstractNativeEventFilter {
public:
    // The X atoms that name a close request: WM_PROTOCOLS and WM_DELETE_WINDOW.
    struct Atoms {
        quint32 protocols = 0;
        quint32 deleteWindow = 0;
    };
    // `requested` answers whether it took the request; one it leaves goes on to Qt.
    using Requested = std::function<bool()>;

    BlockedCloseFilter(const QWidget* window, Atoms atoms, Requested requested);

    // A filter for `window` on this application's X connection; null on any other platform.
    static std::unique_ptr<BlockedCloseFilter> forX11(const QWidget* window, Requested requested);

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    const QWidget* m_window;
    Atoms m_atoms;
    Requested m_requested;
};
