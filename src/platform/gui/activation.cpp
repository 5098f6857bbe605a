// Bringing the window forward for a later start that handed over to this copy, with the
// desktop's activation token of that start. The token serves this one activation: it never
// stays in the process environment, from where every tool started later would inherit it.

#include "platform/gui/desktop.h"
#include "x11.h"

#include <QWidget>

#include <algorithm>
#include <cstring>

namespace corvane::platform {

using x11::atom;
using x11::owned;

namespace {

// The time of the user's action that made the other start, which a startup id carries at its
// end ("..._TIME<n>"); 0 when it carries none.
xcb_timestamp_t startupTime(const QByteArray& id)
{
    const qsizetype at = id.lastIndexOf("_TIME");
    bool ok = false;
    const uint time = at < 0 ? 0 : id.sliced(at + 5).toUInt(&ok, 10);
    return ok ? time : 0;
}

// Asks the window manager to activate `window` on behalf of the user's action at `time`. With
// the time of the click that made the other start, focus-stealing prevention sees a fresh
// request of the user's instead of one as old as the last input this copy had.
void activateAt(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window,
                xcb_timestamp_t time)
{
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(connection, "_NET_ACTIVE_WINDOW");
    event.data.data32[0] = 1; // the request comes from an application
    event.data.data32[1] = time;
    xcb_send_event(connection, false, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

// Ends the startup notification of the start with `id`, so that the desktop stops showing it
// as busy: the "remove" message of the freedesktop startup notification protocol, sent to the
// root window in parts of 20 bytes, its closing NUL included.
void endStartup(xcb_connection_t* connection, xcb_window_t root, const QByteArray& id)
{
    QByteArray message("remove: ID=\"");
    for (const char c : id) {
        if (c == '"' || c == '\\')
            message += '\\';
        message += c;
    }
    message += '"';
    message += '\0';

    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = root;
    event.type = atom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = atom(connection, "_NET_STARTUP_INFO");
    constexpr qsizetype Part = sizeof event.data.data8;
    for (qsizetype sent = 0; sent < message.size(); sent += Part) {
        std::memset(event.data.data8, 0, Part);
        std::memcpy(event.data.data8, message.constData() + sent,
                    static_cast<std::size_t>(std::min(Part, message.size() - sent)));
        xcb_send_event(connection, false, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
        event.type = more;
    }
}

} // namespace

void activateForStart(QWidget* window, const QByteArray& token)
{
    xcb_connection_t* connection = x11::connection();
    if (!connection) {
        // Wayland (or no window system at all): Qt's activation request takes the token from
        // XDG_ACTIVATION_TOKEN, which holds it for this one call.
        if (!token.isEmpty())
            qputenv("XDG_ACTIVATION_TOKEN", token);
        window->activateWindow();
        qunsetenv("XDG_ACTIVATION_TOKEN");
        return;
    }

    // Qt's own request goes first: without a window manager it is the one that sets the
    // focus. Where the manager turns it down as too old, the start's own time follows.
    window->activateWindow();
    if (token.isEmpty())
        return;
    const auto xid = static_cast<xcb_window_t>(window->winId());
    const auto geometry =
        owned(xcb_get_geometry_reply(connection, xcb_get_geometry(connection, xid), nullptr));
    if (!geometry)
        return;
    if (const xcb_timestamp_t time = startupTime(token))
        activateAt(connection, geometry->root, xid, time);
    endStartup(connection, geometry->root, token);
    xcb_flush(connection);
}

} // namespace corvane::platform
