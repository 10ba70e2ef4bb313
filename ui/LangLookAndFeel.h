#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// Look-and-feel of the language box, also the program's default look-and-feel.
class LangLookAndFeel : public juce::LookAndFeel_V2
{
};
