#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

// The language box and its menu: each language's name drawn in that language's typeface.
// The main screen also makes it the program's default look-and-feel.
class LangLookAndFeel : public juce::LookAndFeel_V2
{
public:
    ~LangLookAndFeel() override = default;

    void drawPopupMenuItem (juce::Graphics&, const juce::Rectangle<int>& area,
                            bool isSeparator, bool isActive, bool isHighlighted, bool isTicked, bool hasSubMenu,
                            const juce::String& text, const juce::String& shortcutKeyText,
                            const juce::Drawable* icon, const juce::Colour* textColour) override;
    juce::Font getComboBoxFont (juce::ComboBox&) override;

    // A typeface name that is not installed here (the program names typefaces of other
    // systems) is drawn by the system's default sans-serif typeface, in the same style.
    juce::Typeface::Ptr getTypefaceForFont (const juce::Font&) override;

    // The font of a menu item: a language name gets its language's typeface at 17, the
    // rest keeps the given font; either is capped at the item's height / 1.3.
    static juce::Font getMenuItemFont (const juce::String& text, int itemHeight, const juce::Font& menuFont);
    // Left edge of a menu item's text.
    static int getMenuItemMargin (int itemHeight) { return (itemHeight * 5) / 4; }
};
