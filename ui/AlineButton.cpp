#include "ui/AlineButton.h"

#include "ui/BtnLookAndFeel.h"

AlineButton::AlineButton (const juce::String& name)
    : juce::Button (name),
      m_pLookAndFeel (std::make_unique<BtnLookAndFeel>())
{
    setLookAndFeel (m_pLookAndFeel.get());
    setColour (juce::TextButton::buttonColourId, juce::Colours::white);
    setColour (juce::TextButton::buttonOnColourId, juce::Colours::white);
}

AlineButton::~AlineButton()
{
    setLookAndFeel (nullptr);
    m_pLookAndFeel.reset();
}

void AlineButton::setButtonText (const juce::String& newText)
{
    if (newText == getButtonText())
        repaint();
    else
        juce::Button::setButtonText (newText);
}

void AlineButton::setFont (const juce::String& typefaceName)
{
    m_fontName = typefaceName;
}

void AlineButton::setStyle (const int& styleFlags)
{
    m_fontStyle = styleFlags;
}

bool AlineButton::keyPressed (const juce::KeyPress& key)
{
    if (key != juce::KeyPress::returnKey)
        return false;
    m_returnDown = true;
    repaint();
    return true;
}

juce::Font AlineButton::getCaptionFont() const
{
    return juce::Font (m_fontName, juce::jmin ((float) getHeight() * 0.8f, 13.0f), m_fontStyle);
}

juce::Rectangle<float> AlineButton::getFocusMarkBounds() const
{
    const auto w = (float) getWidth(), h = (float) getHeight();
    return { w * 0.05f, h * 0.15f, w * 0.9f, h * 0.7f };
}

void AlineButton::paintButton (juce::Graphics& g, bool isMouseOverButton, bool isButtonDown)
{
    const auto colourId = getToggleState() ? juce::TextButton::buttonOnColourId : juce::TextButton::buttonColourId;
    getLookAndFeel().drawButtonBackground (g, *this, findColour (colourId), isMouseOverButton,
                                           isButtonDown || m_returnDown);

    g.setFont (getCaptionFont());
    g.setColour (juce::Colour (0xFF101010u));
    g.drawFittedText (getButtonText(), 4, 4, getWidth() - 8, getHeight() - 8, m_justification, 1, 0.7f);

    if (hasKeyboardFocus (true))
    {
        g.setColour (juce::Colours::grey);
        g.drawRect (getFocusMarkBounds(), 0.5f);
    }

    // While Return is held every paint asks for the next, so the body stays pressed; the
    // first paint after its release clicks once.
    if (juce::KeyPress::isKeyCurrentlyDown (juce::KeyPress::returnKey))
    {
        repaint();
    }
    else if (m_returnDown)
    {
        m_returnDown = false;
        triggerClick();
    }
}
