#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct _XDisplay;

namespace testsupport
{
// X11 window ids without Xlib's header, whose macros clash with test frameworks.
using XWindowId = unsigned long;

struct WindowSize { int width = 0, height = 0; };
struct SizeLimits { int minWidth = 0, minHeight = 0, maxWidth = 0, maxHeight = 0; };

// A small X11 client for checking the program's real window from outside.
class X11Probe
{
public:
    X11Probe();
    ~X11Probe();

    bool isOpen() const { return m_display != nullptr; }

    // Interns the atoms a window manager would provide, so the program can set them.
    void internWindowManagerAtoms();

    // The top-level window of process pid, waiting up to timeoutMs for it to be mapped.
    std::optional<XWindowId> waitForWindowOf (long pid, int timeoutMs);
    // Mapped top-level windows whose _NET_WM_PID is pid.
    std::vector<XWindowId> windowsOf (long pid);

    std::vector<std::string> atomListProperty (XWindowId w, const char* property);
    std::vector<long> cardinalProperty (XWindowId w, const char* property, const char* type);
    std::string utf8Property (XWindowId w, const char* property);
    WindowSize size (XWindowId w);
    // The minimum and maximum size the window asks for, if it sets both.
    std::optional<SizeLimits> sizeLimits (XWindowId w);
    uint32_t pixelAt (XWindowId w, int x, int y);

    // Asks the window to close, as a window manager's close button does (WM_DELETE_WINDOW).
    void sendDeleteWindow (XWindowId w);

    // Watches the root window for client messages (such as _NET_ACTIVE_WINDOW requests).
    void watchRootClientMessages();
    // Waits for a client message of the given type about window w.
    bool waitForClientMessage (const char* type, XWindowId w, int timeoutMs);

private:
    _XDisplay* m_display = nullptr;
};
} // namespace testsupport
