#pragma once

// The probe's X client: it sees windows being mapped on the root window, where they lie, and
// moves and clicks the pointer through the XTEST extension.

#include "probe.h"

#include <X11/Xlib.h>

#include <functional>
#include <optional>
#include <sys/types.h>
#include <utility>

namespace probe {

class XServer
{
public:
    /// Opens $DISPLAY and listens for windows appearing on its root window.
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    Display* display() const { return m_display; }

    /// Reads events until `accept` takes one or the deadline passes; the time it was read.
    std::optional<Nanos> waitEvent(Nanos deadline,
                                   const std::function<bool(const XEvent&)>& accept);
    /// Keeps reading (and dropping) events until the deadline.
    void idleUntil(Nanos deadline) { waitEvent(deadline, nullptr); }

    /// A top-level window of `pid` mapped on the root (no window manager), other than
    /// `except`, and the moment its MapNotify was read.
    std::optional<std::pair<Window, Nanos>> waitMapped(pid_t pid, Nanos deadline,
                                                       Window except = 0);

    struct Rect
    {
        int x = 0, y = 0, width = 0, height = 0;
        bool contains(int px, int py) const
        {
            return px >= x && py >= y && px < x + width && py < y + height;
        }
    };
    /// Where the window lies on the root, and its size.
    Rect geometry(Window window) const;

private:
    long pidOf(Window window) const;

    Display* m_display = nullptr;
    Window m_root = 0;
    Atom m_pidAtom = 0;
};

/// Pointer input through the XTEST extension, which the X server treats as real input.
class FakeInput
{
public:
    explicit FakeInput(Display* display);
    // The library stays loaded: it has hooks in the display connection until that closes.
    ~FakeInput() = default;
    FakeInput(const FakeInput&) = delete;
    FakeInput& operator=(const FakeInput&) = delete;

    void moveTo(int x, int y);
    void button(bool press);

private:
    using MotionFn = int (*)(Display*, int, int, int, unsigned long);
    using ButtonFn = int (*)(Display*, unsigned int, int, unsigned long);
    Display* m_display;
    MotionFn m_motion = nullptr;
    ButtonFn m_button = nullptr;
};

} // namespace probe
