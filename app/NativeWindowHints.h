#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Tells the window manager that a window has one fixed size: JUCE's X11 code sets the
// minimum and maximum size of a non-resizable window and then overwrites them with its
// position hints, so window managers would still offer to resize it.
void pinNativeWindowSize (juce::Component& window);
