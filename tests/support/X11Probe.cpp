#include "support/X11Probe.h"

#include <X11/Xlib.h>

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace testsupport
{
namespace
{
using Clock = std::chrono::steady_clock;

bool expired (Clock::time_point end) { return Clock::now() >= end; }
} // namespace

namespace
{
// Windows come and go while they are looked at (JUCE recreates its window when it is put on
// top): a request about a window that has just gone is not an error for these checks.
int ignoreErrors (Display*, XErrorEvent*) { return 0; }
} // namespace

X11Probe::X11Probe() : m_display (XOpenDisplay (nullptr))
{
    XSetErrorHandler (&ignoreErrors);
}

X11Probe::~X11Probe()
{
    if (m_display != nullptr)
        XCloseDisplay (m_display);
}

void X11Probe::internWindowManagerAtoms()
{
    for (const char* name : { "_NET_WM_STATE", "_NET_WM_STATE_ABOVE", "_MOTIF_WM_HINTS",
                              "_NET_WM_ALLOWED_ACTIONS", "_NET_WM_ACTION_CLOSE", "_NET_WM_ACTION_MINIMIZE",
                              "_NET_WM_ACTION_RESIZE", "_NET_WM_ACTION_FULLSCREEN", "_NET_ACTIVE_WINDOW",
                              "WM_PROTOCOLS", "WM_DELETE_WINDOW" })
        XInternAtom (m_display, name, False);
    XSync (m_display, False);
}

std::vector<Window> X11Probe::windowsOf (long pid)
{
    std::vector<Window> found;
    Window root = DefaultRootWindow (m_display), parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree (m_display, root, &root, &parent, &children, &count) == 0)
        return found;
    for (unsigned int i = 0; i < count; ++i)
    {
        const auto pids = cardinalProperty (children[i], "_NET_WM_PID", "CARDINAL");
        XWindowAttributes a {};
        if (! pids.empty() && pids[0] == pid && XGetWindowAttributes (m_display, children[i], &a)
            && a.map_state == IsViewable)
            found.push_back (children[i]);
    }
    XFree (children);
    return found;
}

std::optional<Window> X11Probe::waitForWindowOf (long pid, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds (timeoutMs);
    for (;;)
    {
        if (auto windows = windowsOf (pid); ! windows.empty())
            return windows.front();
        if (expired (end))
            return std::nullopt;
        std::this_thread::sleep_for (std::chrono::milliseconds (20));
    }
}

std::vector<long> X11Probe::cardinalProperty (Window w, const char* property, const char* type)
{
    std::vector<long> values;
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom wanted = XInternAtom (m_display, type, False);
    if (XGetWindowProperty (m_display, w, XInternAtom (m_display, property, False), 0, 1024, False,
                            wanted, &actualType, &format, &count, &after, &data) == Success
        && data != nullptr && format == 32)
    {
        auto* longs = reinterpret_cast<long*> (data);
        values.assign (longs, longs + count);
    }
    if (data != nullptr)
        XFree (data);
    return values;
}

std::vector<std::string> X11Probe::atomListProperty (Window w, const char* property)
{
    std::vector<std::string> names;
    for (long atom : cardinalProperty (w, property, "ATOM"))
        if (char* name = XGetAtomName (m_display, static_cast<Atom> (atom)))
        {
            names.emplace_back (name);
            XFree (name);
        }
    return names;
}

std::string X11Probe::utf8Property (Window w, const char* property)
{
    std::string text;
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty (m_display, w, XInternAtom (m_display, property, False), 0, 1024, False,
                            AnyPropertyType, &actualType, &format, &count, &after, &data) == Success
        && data != nullptr && format == 8)
        text.assign (reinterpret_cast<char*> (data), count);
    if (data != nullptr)
        XFree (data);
    return text;
}

WindowSize X11Probe::size (Window w)
{
    XWindowAttributes a {};
    XGetWindowAttributes (m_display, w, &a);
    return { a.width, a.height };
}

std::optional<SizeLimits> X11Probe::sizeLimits (Window w)
{
    XSizeHints hints {};
    long supplied = 0;
    if (XGetWMNormalHints (m_display, w, &hints, &supplied) == 0
        || (hints.flags & PMinSize) == 0 || (hints.flags & PMaxSize) == 0)
        return std::nullopt;
    return SizeLimits { hints.min_width, hints.min_height, hints.max_width, hints.max_height };
}

uint32_t X11Probe::pixelAt (Window w, int x, int y)
{
    XImage* image = XGetImage (m_display, w, x, y, 1, 1, AllPlanes, ZPixmap);
    if (image == nullptr)
        return 0;
    const auto pixel = static_cast<uint32_t> (XGetPixel (image, 0, 0)) & 0xFFFFFFu;
    XDestroyImage (image);
    return pixel;
}

void X11Probe::sendDeleteWindow (Window w)
{
    XEvent event {};
    event.xclient.type = ClientMessage;
    event.xclient.window = w;
    event.xclient.message_type = XInternAtom (m_display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long> (XInternAtom (m_display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent (m_display, w, False, NoEventMask, &event);
    XSync (m_display, False);
}

void X11Probe::watchRootClientMessages()
{
    XSelectInput (m_display, DefaultRootWindow (m_display), SubstructureNotifyMask);
    XSync (m_display, False);
}

bool X11Probe::waitForClientMessage (const char* type, Window w, int timeoutMs)
{
    const Atom wanted = XInternAtom (m_display, type, False);
    const auto end = Clock::now() + std::chrono::milliseconds (timeoutMs);
    while (! expired (end))
    {
        while (XPending (m_display) > 0)
        {
            XEvent event;
            XNextEvent (m_display, &event);
            if (event.type == ClientMessage && event.xclient.message_type == wanted && event.xclient.window == w)
                return true;
        }
        std::this_thread::sleep_for (std::chrono::milliseconds (10));
    }
    return false;
}
} // namespace testsupport
