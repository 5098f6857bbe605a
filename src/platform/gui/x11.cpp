#include "x11.h"

#include <QGuiApplication>

#include <cstring>

namespace corvane::platform::x11 {

xcb_connection_t* connection()
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Other platforms may answer for X11 too (offscreen does) without a connection.
    return x11 && QGuiApplication::platformName() == u"xcb" ? x11->connection() : nullptr;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const auto reply = owned(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, false, static_cast<uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace corvane::platform::x11
