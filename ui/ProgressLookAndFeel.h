#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The progress bar: a grey gradient bar on the bar's background colour, white text.
class ProgressLookAndFeel : public juce::LookAndFeel_V2
{
public:
    ~ProgressLookAndFeel() override = default;

    void drawProgressBar (juce::Graphics&, juce::ProgressBar&, int width, int height,
                          double progress, const juce::String& textToShow) override;

    // Width of the grey bar for a progress: progress × (width − 4), kept within 0..width − 4.
    static double getFilledWidth (double progress, int width);
};
