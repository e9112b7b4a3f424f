#include "window/BlockedCloseFilter.h"

#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <xcb/xcb.h>

namespace {

constexpr quint32 protocols = 301;
constexpr quint32 deleteWindow = 302;
constexpr quint32 takeFocus = 303;

xcb_client_message_event_t clientMessage(WId window, quint32 type, quint32 protocol)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE | 0x80; // sent by the window manager
    event.format = 32;
    event.window = xcb_window_t(window);
    event.type = type;
    event.data.data32[0] = protocol;
    return event;
}

} // namespace

// Only the window manager's close request for the watched window is handed on, and only a
// request taken there stays from Qt.
TEST(BlockedCloseFilter, HandsOnOnlyTheCloseRequestOfItsWindow)
{
    QWidget window;
    QWidget other;
    window.show();
    other.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    int asked = 0;
    bool take = true;
    BlockedCloseFilter filter(&window, {protocols, deleteWindow}, [&] {
        ++asked;
        return take;
    });
    const auto filtered = [&](xcb_client_message_event_t event,
                              const QByteArray& type = "xcb_generic_event_t") {
        qintptr result = 0;
        return filter.nativeEventFilter(type, &event, &result);
    };

    EXPECT_TRUE(filtered(clientMessage(window.internalWinId(), protocols, deleteWindow)));
    EXPECT_EQ(asked, 1);
    take = false;
    EXPECT_FALSE(filtered(clientMessage(window.internalWinId(), protocols, deleteWindow)));
    EXPECT_EQ(asked, 2);

    take = true;
    EXPECT_FALSE(filtered(clientMessage(other.internalWinId(), protocols, deleteWindow)));
    EXPECT_FALSE(filtered(clientMessage(window.internalWinId(), protocols, takeFocus)));
    EXPECT_FALSE(filtered(clientMessage(window.internalWinId(), deleteWindow, deleteWindow)));
    xcb_client_message_event_t notClient =
        clientMessage(window.internalWinId(), protocols, deleteWindow);
    notClient.response_type = XCB_PROPERTY_NOTIFY;
    EXPECT_FALSE(filtered(notClient));
    EXPECT_FALSE(filtered(clientMessage(window.internalWinId(), protocols, deleteWindow),
                          "windows_generic_MSG"));
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(BlockedCloseFilter::forX11(&window, [] { return true; }))
        << "no X connection offscreen";
}
