#pragma once

#include <juce_graphics/juce_graphics.h>

// Places on the screen shared by its layout (Screen.cpp) and its content (ScreenContent.cpp),
// for a screen w wide and h high.
namespace ScreenLayout
{
inline juce::Rectangle<int> ProgressBarBounds (int w, int h) { return { 20, h - 80, w - 40, 20 }; }
inline juce::Rectangle<int> RightButtonBounds (int w, int h) { return { w - 120, h - 40, 100, 20 }; }
inline juce::Rectangle<int> LeftButtonBounds (int w, int h) { return { w - 230, h - 40, 100, 20 }; }
} // namespace ScreenLayout
