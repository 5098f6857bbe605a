#include "xserver.h"

#include <dlfcn.h>
#include <poll.h>

namespace probe {

namespace {

int ignoreXError(Display*, XErrorEvent*)
{
    return 0; // a window may go away between an event and the look at it
}

} // namespace

XServer::XServer()
{
    m_display = XOpenDisplay(nullptr);
    if (!m_display)
        fail("cannot open the X display");
    XSetErrorHandler(&ignoreXError);
    m_root = XDefaultRootWindow(m_display);
    XSelectInput(m_display, m_root, SubstructureNotifyMask);
    m_pidAtom = XInternAtom(m_display, "_NET_WM_PID", False);
    XSync(m_display, False);
}

XServer::~XServer()
{
    XCloseDisplay(m_display);
}

std::optional<Nanos> XServer::waitEvent(Nanos deadline,
                                        const std::function<bool(const XEvent&)>& accept)
{
    for (;;) {
        while (XPending(m_display)) {
            XEvent event;
            XNextEvent(m_display, &event);
            const Nanos at = now();
            if (accept && accept(event))
                return at;
        }
        const Nanos left = deadline - now();
        if (left <= 0)
            return std::nullopt;
        pollfd entry{XConnectionNumber(m_display), POLLIN, 0};
        ::poll(&entry, 1, static_cast<int>(left / Millisecond) + 1);
    }
}

long XServer::pidOf(Window window) const
{
    Atom type = 0;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(m_display, window, m_pidAtom, 0, 1, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data && format == 32 && count == 1)
        pid = static_cast<long>(*reinterpret_cast<const unsigned long*>(data));
    if (data)
        XFree(data);
    return pid;
}

std::optional<std::pair<Window, Nanos>> XServer::waitMapped(pid_t pid, Nanos deadline,
                                                            Window except)
{
    Window found = 0;
    const std::optional<Nanos> at = waitEvent(deadline, [&](const XEvent& event) {
        if (event.type != MapNotify || event.xmap.event != m_root || event.xmap.override_redirect ||
            event.xmap.window == except || pidOf(event.xmap.window) != pid)
            return false;
        found = event.xmap.window;
        return true;
    });
    if (!at)
        return std::nullopt;
    return std::make_pair(found, *at);
}

XServer::Rect XServer::geometry(Window window) const
{
    Rect rect;
    Window rootReturn = 0;
    Window child = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    XGetGeometry(m_display, window, &rootReturn, &x, &y, &width, &height, &border, &depth);
    XTranslateCoordinates(m_display, window, m_root, 0, 0, &rect.x, &rect.y, &child);
    rect.width = static_cast<int>(width);
    rect.height = static_cast<int>(height);
    return rect;
}

FakeInput::FakeInput(Display* display)
    : m_display(display)
{
    void* library = ::dlopen("libXtst.so.6", RTLD_NOW);
    if (!library)
        fail("cannot load libXtst.so.6 (the XTEST client library)");
    m_motion = reinterpret_cast<MotionFn>(::dlsym(library, "XTestFakeMotionEvent"));
    m_button = reinterpret_cast<ButtonFn>(::dlsym(library, "XTestFakeButtonEvent"));
    if (!m_motion || !m_button)
        fail("libXtst.so.6 lacks the XTEST calls");
}

void FakeInput::moveTo(int x, int y)
{
    if (!m_motion(m_display, -1, x, y, CurrentTime))
        fail("XTEST motion refused");
    XSync(m_display, False);
}

void FakeInput::button(bool press)
{
    if (!m_button(m_display, 1, press ? True : False, CurrentTime))
        fail("XTEST button refused");
    XSync(m_display, False);
}

} // namespace probe
