#pragma once

// What this layer tells an X server goes over Qt's own connection to it. Private to
// platform/gui.

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace corvane::platform::x11 {

/// Qt's connection to the X server, or null when Qt does not run on X11.
xcb_connection_t* connection();

/// xcb's replies are malloc()ed.
template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;
template <typename Reply> ReplyPointer<Reply> owned(Reply* reply)
{
    return ReplyPointer<Reply>(reply, &std::free);
}

/// The atom named `name`, made if the server has none yet; XCB_ATOM_NONE when the server
/// does not answer.
xcb_atom_t atom(xcb_connection_t* connection, const char* name);

} // namespace corvane::platform::x11
