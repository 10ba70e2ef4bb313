#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Look-and-feel of the progress bar.
class ProgressLookAndFeel : public juce::LookAndFeel_V2
{
};
