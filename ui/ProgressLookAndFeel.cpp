#include "ui/ProgressLookAndFeel.h"

double ProgressLookAndFeel::getFilledWidth (double progress, int width)
{
    const double track = width - 4;
    return juce::jlimit (0.0, juce::jmax (0.0, track), progress * track);
}

void ProgressLookAndFeel::drawProgressBar (juce::Graphics& g, juce::ProgressBar& bar, int width, int height,
                                           double progress, const juce::String& textToShow)
{
    g.fillAll (bar.findColour (juce::ProgressBar::backgroundColourId));

    const juce::Colour top (0xFFA7A7A7u), middle (0xFF646464u), bottom (0xFF6C6C6Cu);
    juce::ColourGradient gradient (top, 2.0f, 2.0f, bottom, 2.0f, (float) (height - 4), false);
    gradient.addColour (0.5, middle);
    g.setGradientFill (gradient);
    g.fillRect (juce::Rectangle<float> (2.0f, 2.0f, (float) getFilledWidth (progress, width), (float) (height - 4)));

    if (textToShow.isNotEmpty())
    {
        g.setColour (juce::Colours::white);
        g.setFont ((float) height * 0.8f);
        g.drawText (textToShow, 0, 0, width, height, juce::Justification::centred, false);
    }
}
