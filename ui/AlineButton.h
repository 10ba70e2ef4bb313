#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The program's text button.
class AlineButton : public juce::TextButton
{
public:
    using juce::TextButton::TextButton;
};
