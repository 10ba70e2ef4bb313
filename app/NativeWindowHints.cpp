// JUCE's X11 declarations, so the hints go through JUCE's own display connection and
// reach the server after JUCE's pending requests, not before them.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1
#include <juce_gui_basics/juce_gui_basics.h>

#include "app/NativeWindowHints.h"

void pinNativeWindowSize (juce::Component& window)
{
    auto* peer = window.getPeer();
    auto* system = juce::XWindowSystem::getInstanceWithoutCreating();
    if (peer == nullptr || system == nullptr || system->getDisplay() == nullptr)
        return;

    const auto windowId = static_cast<::Window> (reinterpret_cast<juce::pointer_sized_uint> (peer->getNativeHandle()));
    auto* x11 = juce::X11Symbols::getInstance();
    const juce::XWindowSystemUtilities::ScopedXLock lock;
    XSizeHints* hints = x11->xAllocSizeHints();
    if (hints == nullptr)
        return;

    const auto bounds = peer->getBounds();
    hints->flags = PMinSize | PMaxSize | USPosition | USSize;
    hints->x = bounds.getX();
    hints->y = bounds.getY();
    hints->width = hints->min_width = hints->max_width = bounds.getWidth();
    hints->height = hints->min_height = hints->max_height = bounds.getHeight();
    x11->xSetWMNormalHints (system->getDisplay(), windowId, hints);
    x11->xFree (hints);
    x11->xFlush (system->getDisplay());
}
