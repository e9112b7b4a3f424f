#include "BlockedCloseFilter.h"

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <xcb/xcb.h>

namespace {

xcb_atom_t internedAtom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, quint16(qstrlen(name)), name);
    std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

BlockedCloseFilter::BlockedCloseFilter(const QWidget* window, Atoms atoms, Requested requested)
    : m_window(window), m_atoms(atoms), m_requested(std::move(requested))
{
}

std::unique_ptr<BlockedCloseFilter> BlockedCloseFilter::forX11(const QWidget* window,
                                                               Requested requested)
{
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return nullptr;
    const Atoms atoms{internedAtom(connection, "WM_PROTOCOLS"),
                      internedAtom(connection, "WM_DELETE_WINDOW")};
    if (atoms.protocols == XCB_ATOM_NONE || atoms.deleteWindow == XCB_ATOM_NONE)
        return nullptr;
    return std::make_unique<BlockedCloseFilter>(window, atoms, std::move(requested));
}

bool BlockedCloseFilter::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    const bool closeRequest = client->format == 32 && client->type == m_atoms.protocols &&
                              client->data.data32[0] == m_atoms.deleteWindow;
    const WId window = m_window->internalWinId(); // none before the window is first shown
    return closeRequest && window != 0 && client->window == xcb_window_t(window) && m_requested();
}
