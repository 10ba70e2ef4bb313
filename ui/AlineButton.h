#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

#include <memory>

class BtnLookAndFeel;

// The program's text button: its own pill-shaped body, a caption in a set typeface and
// style, a thin grey mark while it has the keyboard focus, and Return works as a press
// and release: drawn pressed while held, one click when released.
class AlineButton : public juce::Button
{
public:
    explicit AlineButton (const juce::String& name);
    ~AlineButton() override;

    // Sets the caption; the same caption only repaints.
    void setButtonText (const juce::String& newText);
    // Typeface name and style of the caption, taking effect at the next paint.
    void setFont (const juce::String& typefaceName);
    void setStyle (const int& styleFlags);

    bool keyPressed (const juce::KeyPress&) override;

    // The caption's font: the set typeface and style, height the smaller of 0.8 × height and 13.
    juce::Font getCaptionFont() const;
    // The outline drawn while the button has the keyboard focus.
    juce::Rectangle<float> getFocusMarkBounds() const;

protected:
    void paintButton (juce::Graphics&, bool isMouseOverButton, bool isButtonDown) override;

private:
    std::unique_ptr<BtnLookAndFeel> m_pLookAndFeel;
    juce::Justification m_justification { juce::Justification::centred };
    juce::String m_fontName { juce::Font::getDefaultSansSerifFontName() };
    int m_fontStyle = juce::Font::plain;
    bool m_returnDown = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AlineButton)
};
