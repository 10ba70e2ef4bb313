#include "ui/BtnLookAndFeel.h"

namespace
{
constexpr float connectedInset = 0.1f;
constexpr float freeInset = 0.5f;
constexpr float halfPi = juce::MathConstants<float>::halfPi;
constexpr float pi = juce::MathConstants<float>::pi;
} // namespace

void BtnLookAndFeel::drawButtonBackground (juce::Graphics& g, juce::Button& button, const juce::Colour& backgroundColour,
                                           bool /*isMouseOverButton: the body looks the same*/, bool isButtonDown)
{
    const auto body = getBodyBounds (button);
    drawBackground (g, body.getX(), body.getY(), body.getWidth(), body.getHeight(), backgroundColour, 1.0f, -1.0f,
                    button.isConnectedOnLeft(), button.isConnectedOnRight(),
                    button.isConnectedOnTop(), button.isConnectedOnBottom(), isButtonDown);
}

juce::Rectangle<float> BtnLookAndFeel::getBodyBounds (const juce::Button& button)
{
    const auto inset = [] (bool connected) { return connected ? connectedInset : freeInset; };
    const float left = inset (button.isConnectedOnLeft());
    const float right = inset (button.isConnectedOnRight());
    const float top = inset (button.isConnectedOnTop());
    const float bottom = inset (button.isConnectedOnBottom());
    return { left, top, (float) button.getWidth() - left - right, (float) button.getHeight() - top - bottom };
}

juce::Path BtnLookAndFeel::createBodyOutline (juce::Rectangle<float> body, float cornerSize,
                                              bool flatOnLeft, bool flatOnRight, bool flatOnTop, bool flatOnBottom)
{
    const float x = body.getX(), y = body.getY(), w = body.getWidth(), h = body.getHeight();
    const float r = cornerSize >= 0.0f ? cornerSize : juce::jmin (w * 0.5f, h * 0.5f);
    const float d = r * 2.0f;

    juce::Path path;
    if (! (flatOnLeft || flatOnTop))
    {
        path.startNewSubPath (x, y + r);
        path.addArc (x, y, d, d, 3.0f * halfPi, 2.0f * pi);
    }
    else
    {
        path.startNewSubPath (x, y);
    }

    if (! (flatOnTop || flatOnRight))
    {
        path.lineTo (x + w - r, y);
        path.addArc (x + w - d, y, d, d, 0.0f, halfPi);
    }
    else
    {
        path.lineTo (x + w, y);
    }

    if (! (flatOnRight || flatOnBottom))
    {
        path.lineTo (x + w, y + h - r);
        path.addArc (x + w - d, y + h - d, d, d, halfPi, pi);
    }
    else
    {
        path.lineTo (x + w, y + h);
    }

    if (! (flatOnLeft || flatOnBottom))
    {
        path.lineTo (x + r, y + h);
        path.addArc (x, y + h - d, d, d, pi, 3.0f * halfPi);
    }
    else
    {
        path.lineTo (x, y + h);
    }

    path.closeSubPath();
    return path;
}

void BtnLookAndFeel::drawBackground (juce::Graphics& g, float x, float y, float width, float height,
                                     const juce::Colour& colour, float outlineThickness, float cornerSize,
                                     bool flatOnLeft, bool flatOnRight, bool flatOnTop, bool flatOnBottom,
                                     bool isButtonDown)
{
    if (width <= outlineThickness || height <= outlineThickness)
        return;

    const auto outline = createBodyOutline ({ x, y, width, height }, cornerSize,
                                            flatOnLeft, flatOnRight, flatOnTop, flatOnBottom);

    const auto top = isButtonDown ? juce::Colour (0xFFB9C8F0u) : juce::Colours::white;
    const auto middle = isButtonDown ? juce::Colour (0xFF529CE7u) : colour.darker (0.2f);
    const auto bottom = isButtonDown ? juce::Colour (0xFF8CDEFDu) : juce::Colours::white;

    juce::ColourGradient gradient (top, 0.0f, y, bottom, 0.0f, y + height, false);
    gradient.addColour (0.5, middle);
    g.setGradientFill (gradient);
    g.fillPath (outline);

    g.setColour (colour.darker (0.7f));
    g.strokePath (outline, juce::PathStrokeType (outlineThickness));
}
