#include "app/NativeWindowHints.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

void pinNativeWindowSize (juce::Component& window)
{
    auto* peer = window.getPeer();
    if (peer == nullptr)
        return;
    const auto windowId = static_cast<::Window> (reinterpret_cast<uintptr_t> (peer->getNativeHandle()));
    Display* display = XOpenDisplay (nullptr);
    if (display == nullptr || windowId == 0)
    {
        if (display != nullptr)
            XCloseDisplay (display);
        return;
    }

    const auto bounds = peer->getBounds();
    XSizeHints* hints = XAllocSizeHints();
    if (hints != nullptr)
    {
        hints->flags = PMinSize | PMaxSize | USPosition | USSize;
        hints->x = bounds.getX();
        hints->y = bounds.getY();
        hints->width = hints->min_width = hints->max_width = bounds.getWidth();
        hints->height = hints->min_height = hints->max_height = bounds.getHeight();
        XSetWMNormalHints (display, windowId, hints);
        XFree (hints);
    }
    XFlush (display);
    XCloseDisplay (display);
}
