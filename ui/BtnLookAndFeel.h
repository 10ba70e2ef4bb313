#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The buttons' body: a pill-shaped outline with a vertical gradient, white-grey at rest and
// blue while pressed. Sides connected to a neighbour are drawn flat.
class BtnLookAndFeel : public juce::LookAndFeel_V2
{
public:
    ~BtnLookAndFeel() override = default;

    void drawButtonBackground (juce::Graphics&, juce::Button&, const juce::Colour& backgroundColour,
                               bool isMouseOverButton, bool isButtonDown) override;

    static void drawBackground (juce::Graphics&, float x, float y, float width, float height,
                                const juce::Colour& colour, float outlineThickness, float cornerSize,
                                bool flatOnLeft, bool flatOnRight, bool flatOnTop, bool flatOnBottom,
                                bool isButtonDown);

    // Where drawButtonBackground puts the body: inset 0.1 on a connected side, 0.5 elsewhere.
    static juce::Rectangle<float> getBodyBounds (const juce::Button&);

    // The body's closed outline, clockwise from the top-left. A negative corner size
    // rounds the ends fully (radius half the smaller side).
    static juce::Path createBodyOutline (juce::Rectangle<float> body, float cornerSize,
                                         bool flatOnLeft, bool flatOnRight, bool flatOnTop, bool flatOnBottom);
};
