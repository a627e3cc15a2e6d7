#include "platform/pointer.h"

#include <QGuiApplication>
#include <cstdlib>
#include <qguiapplication_platform.h>
#include <xcb/xcb.h>

namespace quillet::platform {

bool leftButtonDown() {
    const auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return QGuiApplication::mouseButtons().testFlag(Qt::LeftButton);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_query_pointer_reply_t* reply =
        xcb_query_pointer_reply(connection, xcb_query_pointer(connection, root), nullptr);
    if (!reply)
        return false;
    const bool down = (reply->mask & XCB_BUTTON_MASK_1) != 0;
    std::free(reply);
    return down;
}

} // namespace quillet::platform
